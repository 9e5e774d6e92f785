korvex_fuzz_target(ipc_frames
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_ipc_frames.cpp
    ${CMAKE_SOURCE_DIR}/standin/tbxIpc/IpcFrame.cpp
    ${CMAKE_SOURCE_DIR}/standin/tbxIpc/IpcFrameDecoder.cpp
    ${CMAKE_SOURCE_DIR}/standin/tbxIpc/SimpleSerialization.cpp)
