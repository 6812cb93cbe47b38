# The demo's "Virtual network" panel window (Win32 only).
if(WIN32)
  add_library(vnet_panel OBJECT ${CMAKE_CURRENT_LIST_DIR}/panel_win32.cpp)
  locstr_target_options(vnet_panel)
  target_link_libraries(vnet_panel INTERFACE $<TARGET_OBJECTS:hextext>)
endif()
