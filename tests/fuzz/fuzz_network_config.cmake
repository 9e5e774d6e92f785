korvex_fuzz_target(network_config
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_network_config.cpp
  LIBS monitor_app)
