# Interface driver access under Wine: the host tests against the virtual
# network, and the real device and registry seams against Wine's system.
locstr_add_test(win32_niaccess_test SOURCES ../host/niaccess_test.cpp
                LIBS niaccess virtualnet plat_sync_win32)
locstr_add_test(niaccess_win32_test SOURCES niaccess_win32_test.cpp
                LIBS niaccess plat_device_win32 plat_registry_win32 plat_sync_win32)
