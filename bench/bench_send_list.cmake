korvex_benchmark(send_list
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_send_list.cpp
  LIBS monitor_ipc)
