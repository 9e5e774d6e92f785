korvex_benchmark(ipc_delivery
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/bench_ipc_delivery.cpp
    ${CMAKE_SOURCE_DIR}/src/IpcClient/IpcClient.cpp
    ${CMAKE_SOURCE_DIR}/src/BuildStamp.cpp
    ${CMAKE_SOURCE_DIR}/src/IpcClient/IpcProtocolHandlerThread.cpp
    ${CMAKE_SOURCE_DIR}/src/KorvexCommon/WallClock.cpp
    ${CMAKE_SOURCE_DIR}/src/IpcClient/ReceivedJson.cpp
    ${CMAKE_SOURCE_DIR}/src/IpcClient/IpcSendList.cpp
    ${CMAKE_SOURCE_DIR}/src/IpcClient/IpcMessage.cpp
  LIBS tbxUtil tbxIpc valkoConfig valkoError valkoMt valkoMonitor win32standin)
