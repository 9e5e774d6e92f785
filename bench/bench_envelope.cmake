korvex_benchmark(envelope
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/bench_envelope.cpp
    ${CMAKE_SOURCE_DIR}/src/IpcClient/IpcMessage.cpp
  LIBS tbxUtil tbxIpc)
