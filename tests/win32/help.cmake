# The generated context-help file, opened in Wine's help viewer. The viewer is
# off by default in tests (tools/wine-env.sh); this test turns it on and keeps
# the script's other overrides (an empty mode and "d" both disable).
locstr_add_test(help_test SOURCES help_test.cpp LOCK
  PROPERTIES ENVIRONMENT "WINEDLLOVERRIDES=mscoree,mshtml,winealsa.drv,winepulse.drv=d")
target_compile_definitions(help_test PRIVATE
  LOCSTR_HELP_FILE="$<TARGET_FILE_DIR:locstr>/KALDUR.HLP"
  LOCSTR_HELP_SOURCE="${PROJECT_SOURCE_DIR}/resources/help/topics.txt")
add_dependencies(help_test locstr_help)
