# The interface catalogue against the in-memory registry (the same cases run
# against Wine's registry in tests/win32/catalogue.cmake).
locstr_add_test(catalogue_test SOURCES catalogue_test.cpp catalogue_registry_memory.cpp
  LIBS niaccess virtualnet plat_sync_host plat_output_recorder)
target_compile_definitions(catalogue_test PRIVATE
  LOCSTR_VNIC_ENV="${PROJECT_SOURCE_DIR}/tools/vnic-env.sh")
