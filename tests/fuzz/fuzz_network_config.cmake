korvex_fuzz_target(network_config
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_network_config.cpp
    ${CMAKE_SOURCE_DIR}/src/NetworkConfig.cpp
  LIBS tbxUtil valkoCommon)
