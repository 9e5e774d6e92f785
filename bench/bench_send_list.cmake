korvex_benchmark(send_list
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/bench_send_list.cpp
    ${CMAKE_SOURCE_DIR}/src/IpcClient/IpcSendList.cpp
  LIBS tbxUtil valkoConfig valkoError win32standin)
