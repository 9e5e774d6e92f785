korvex_fuzz_target(cmd_stop
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_cmd_stop.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RapidJsonUbsanOptions.cpp
  LIBS monitor_ipc)
target_compile_definitions(fuzz_cmd_stop PRIVATE
  KORVEX_RAPIDJSON_UBSAN_SUPPRESSIONS="${CMAKE_CURRENT_LIST_DIR}/rapidjson_ubsan.supp")
