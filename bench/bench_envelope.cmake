korvex_benchmark(envelope
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_envelope.cpp
  LIBS monitor_ipc)
