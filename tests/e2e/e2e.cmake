# End-to-end tests of the unmodified locstr.exe on vnic.sys with vnet.exe as
# the network, and the benchmark of the program's own latency (not a test:
# tests/e2e/benchmark.sh prints its figures). Included from
# tests/win32/driver.cmake.
if(NOT TARGET locstr OR NOT TARGET vnet)
  message(FATAL_ERROR "the end-to-end tests need the targets locstr and vnet")
endif()
add_library(e2e_support OBJECT ${CMAKE_CURRENT_LIST_DIR}/e2e_support.cpp)
locstr_target_options(e2e_support)

add_executable(e2e_test ${CMAKE_CURRENT_LIST_DIR}/e2e_test.cpp)
locstr_target_options(e2e_test)
target_link_libraries(e2e_test PRIVATE e2e_support GTest::gtest_main)
add_test(NAME e2e_test
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/in-driver-prefix.sh $<TARGET_FILE:vnic>
                 $<TARGET_FILE:e2e_test>)
set_tests_properties(e2e_test PROPERTIES RUN_SERIAL TRUE TIMEOUT 600 ENVIRONMENT
                     "VNET_EXE=$<TARGET_FILE:vnet>;LOCSTR_EXE=$<TARGET_FILE:locstr>")

add_executable(e2e_benchmark ${CMAKE_CURRENT_LIST_DIR}/benchmark.cpp
                             ${CMAKE_CURRENT_LIST_DIR}/benchmark_process.cpp)
locstr_target_options(e2e_benchmark)
target_link_libraries(e2e_benchmark PRIVATE e2e_support)

# The floor for the benchmark's start-up figure: a dialog program with nothing
# in it.
add_executable(minimal_dialog WIN32 ${CMAKE_CURRENT_LIST_DIR}/minimal_dialog.cpp)
locstr_target_options(minimal_dialog)

# The soak (tests/e2e/soak.sh runs a long one and prints its figures); a short
# one with fast faults is a test.
add_executable(e2e_soak ${CMAKE_CURRENT_LIST_DIR}/soak.cpp ${CMAKE_CURRENT_LIST_DIR}/soak_figures.cpp)
locstr_target_options(e2e_soak)
target_link_libraries(e2e_soak PRIVATE e2e_support psapi)
add_test(NAME soak
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/in-driver-prefix.sh $<TARGET_FILE:vnic>
                 $<TARGET_FILE:e2e_soak> --changes 100 --fast)
set_tests_properties(soak PROPERTIES RUN_SERIAL TRUE TIMEOUT 600 ENVIRONMENT
                     "VNET_EXE=$<TARGET_FILE:vnet>;LOCSTR_EXE=$<TARGET_FILE:locstr>")
