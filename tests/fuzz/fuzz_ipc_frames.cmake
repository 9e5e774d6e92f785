korvex_fuzz_target(ipc_frames
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_ipc_frames.cpp
  LIBS tbxIpc)
