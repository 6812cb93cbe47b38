# Interface driver access: against the virtual network, and against recording
# stand-ins of the device and registry seams for what the network cannot show.
locstr_add_test(niaccess_test SOURCES niaccess_test.cpp LIBS niaccess virtualnet plat_sync_host)
locstr_add_test(niaccess_seam_test SOURCES niaccess_seam_test.cpp LIBS niaccess plat_sync_host)
