# Messaging: templates and recognition, the link and its reader thread, and the
# location change, against the virtual network with the output recorder.
locstr_add_test(messaging_test
  SOURCES messaging_message_test.cpp messaging_link_test.cpp messaging_location_test.cpp
  LIBS messaging niaccess virtualnet ui_portable plat_sync_host plat_output_recorder)
