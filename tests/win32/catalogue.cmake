# The interface catalogue against Wine's registry (the cases of the host suite),
# and the dialog's interface list filled from it.
locstr_add_test(catalogue_win32_test SOURCES ../host/catalogue_test.cpp catalogue_win32_test.cpp
  LIBS niaccess ui_interface_list_win32 plat_registry_win32 plat_device_win32 plat_sync_win32
       plat_output_recorder locstr_resources comctl32
  LOCK)
