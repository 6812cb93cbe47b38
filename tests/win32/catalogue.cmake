# The interface catalogue against Wine's registry, and the dialog's interface list.
locstr_add_test(catalogue_win32_test SOURCES catalogue_win32_test.cpp
  LIBS niaccess niaccess_win32 plat_registry_win32 plat_device_win32 plat_sync_win32
       plat_output_recorder locstr_resources comctl32
  LOCK)
