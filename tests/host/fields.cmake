# Field entry and the hexadecimal text form.
locstr_add_test(fields_test SOURCES fields_test.cpp
  LIBS ui_portable messaging niaccess virtualnet plat_sync_host plat_output_recorder)
