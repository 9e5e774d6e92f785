korvex_fuzz_target(init_info
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_init_info.cpp
  LIBS monitor_ipc)
