# Virtual network and in-memory registry: the driver contract through the seams.
locstr_add_test(vnet_test
  SOURCES vnet_device_test.cpp vnet_network_test.cpp vregistry_test.cpp vnet_decode_test.cpp
  LIBS virtualnet plat_sync_host)
