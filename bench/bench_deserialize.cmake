korvex_benchmark(deserialize
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_deserialize.cpp
  LIBS monitor_ipc)
