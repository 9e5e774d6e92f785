korvex_benchmark(ipc_transport
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_ipc_transport.cpp
  LIBS tbxIpc tbxUtil)
