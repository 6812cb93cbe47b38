# Field entry under Wine: the portable parsers built with MinGW, and the
# resources (dialog template, strings, sounds, icon) as they land in a binary.
locstr_add_test(win32_fields_test SOURCES ../host/fields_test.cpp
  LIBS ui_portable messaging niaccess virtualnet plat_sync_win32 plat_output_recorder)
locstr_add_test(resources_test SOURCES resources_test.cpp LIBS locstr_resources comctl32 LOCK)
