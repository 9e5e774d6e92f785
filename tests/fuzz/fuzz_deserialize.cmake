korvex_fuzz_target(deserialize
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_deserialize.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RapidJsonUbsanOptions.cpp
  LIBS monitor_ipc)
target_compile_definitions(fuzz_deserialize PRIVATE
  KORVEX_RAPIDJSON_UBSAN_SUPPRESSIONS="${CMAKE_CURRENT_LIST_DIR}/rapidjson_ubsan.supp")
