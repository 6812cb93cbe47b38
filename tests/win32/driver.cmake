# The virtual interface driver's tests and the end-to-end tests of locstr.exe
# on it. They run in the driver's own Wine prefix (not the shared one) and
# alone (RUN_SERIAL), since they start and stop that prefix's wineserver.
if(NOT TARGET vnic)
  return()
endif()
add_executable(vnic_client_test ${PROJECT_SOURCE_DIR}/tests/e2e/vnic_client_test.cpp)
locstr_target_options(vnic_client_test)
target_link_libraries(vnic_client_test PRIVATE GTest::gtest_main)
add_test(NAME vnic_client_test
         COMMAND bash ${PROJECT_SOURCE_DIR}/tests/e2e/in-driver-prefix.sh $<TARGET_FILE:vnic>
                 $<TARGET_FILE:vnic_client_test>)
set_tests_properties(vnic_client_test PROPERTIES RUN_SERIAL TRUE TIMEOUT 300)
include(${PROJECT_SOURCE_DIR}/tests/e2e/e2e.cmake)
