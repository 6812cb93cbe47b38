# Dialog tests: the real window and dialog, in-process on the virtual network,
# with recording beeps and cues, and the real executables beside them; one
# desktop, so never two at once.
locstr_add_test(dialog_test
  SOURCES dialog_harness.cpp dialog_window_test.cpp dialog_fields_test.cpp
          dialog_network_test.cpp dialog_process_test.cpp
  LIBS niaccess ui_interface_list_win32 messaging ui_portable ui_win32 ui_demo_stub plat_sync_win32 locstr_resources
       virtualnet vnet_panel comctl32
  LOCK)
target_compile_definitions(dialog_test PRIVATE LOCSTR_DEMO_EXE="$<TARGET_FILE:locstr-demo>"
  LOCSTR_EXE="$<TARGET_FILE:locstr>"
  LOCSTR_HELP_SOURCE="${PROJECT_SOURCE_DIR}/resources/help/topics.txt")
add_dependencies(dialog_test locstr-demo locstr)
add_test(NAME dialog_test_192dpi COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/at-dpi.sh 192 $<TARGET_FILE:dialog_test> --gtest_filter=ScaleTest.*:SecondCopy.*)
