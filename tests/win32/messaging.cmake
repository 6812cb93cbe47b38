# Messaging under Wine: the same tests on the Win32 sync seam (events,
# threads, tick count and sleep of the real system).
locstr_add_test(win32_messaging_test
  SOURCES ../host/messaging_message_test.cpp ../host/messaging_link_test.cpp
          ../host/messaging_location_test.cpp
  LIBS messaging niaccess virtualnet ui_portable plat_sync_win32 plat_output_recorder)
