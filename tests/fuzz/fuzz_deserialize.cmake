korvex_fuzz_target(deserialize
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_deserialize.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RapidJsonUbsanOptions.cpp
    ${CMAKE_SOURCE_DIR}/src/IpcClient/IpcProtocolHandlerThread.cpp
    ${CMAKE_SOURCE_DIR}/src/KorvexCommon/WallClock.cpp
    ${CMAKE_SOURCE_DIR}/src/IpcClient/ReceivedJson.cpp
  LIBS tbxUtil valkoConfig valkoMt valkoMonitor)
target_compile_definitions(fuzz_deserialize PRIVATE
  KORVEX_RAPIDJSON_UBSAN_SUPPRESSIONS="${CMAKE_CURRENT_LIST_DIR}/rapidjson_ubsan.supp")
