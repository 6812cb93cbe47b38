# The virtual network's tests again, under Wine with the Win32 sync seam.
locstr_add_test(win32_vnet_test
  SOURCES ../host/vnet_device_test.cpp ../host/vnet_network_test.cpp ../host/vregistry_test.cpp
          ../host/vnet_decode_test.cpp
  LIBS virtualnet plat_sync_win32)
