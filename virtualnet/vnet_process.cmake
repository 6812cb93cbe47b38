# vnet.exe: the virtual network as a process behind the vnic.sys driver, with
# the panel window and a command protocol on stdin/stdout (Win32 only).
if(WIN32 AND TARGET vnet_panel)
  add_executable(vnet ${CMAKE_CURRENT_LIST_DIR}/vnet_process_win32.cpp)
  target_link_libraries(vnet PRIVATE virtualnet vnet_panel plat_sync_win32)
  locstr_target_options(vnet)
endif()
