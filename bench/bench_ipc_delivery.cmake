korvex_benchmark(ipc_delivery
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_ipc_delivery.cpp
  LIBS monitor_ipc)
