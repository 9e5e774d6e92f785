korvex_benchmark(deserialize
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/bench_deserialize.cpp
    ${CMAKE_SOURCE_DIR}/src/IpcClient/IpcProtocolHandlerThread.cpp
    ${CMAKE_SOURCE_DIR}/src/KorvexCommon/WallClock.cpp
    ${CMAKE_SOURCE_DIR}/src/IpcClient/ReceivedJson.cpp
  LIBS tbxUtil valkoConfig valkoMt valkoMonitor)
