# The interface catalogue against the in-memory registry.
locstr_add_test(catalogue_test SOURCES catalogue_test.cpp
  LIBS niaccess virtualnet plat_sync_host plat_output_recorder)
