# Cross-compiling for 32-bit Windows with Debian's mingw-w64 (posix thread model, so
# std::thread and <semaphore.h> come from winpthreads).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(KORVEX_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${KORVEX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KORVEX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KORVEX_MINGW_TRIPLE}-windres)
set(CMAKE_DLLTOOL ${KORVEX_MINGW_TRIPLE}-dlltool)
set(CMAKE_OBJDUMP ${KORVEX_MINGW_TRIPLE}-objdump)

# The cross-built JsonCpp and GoogleTest (scripts/install-deps --windows) live in this prefix.
if(NOT KORVEX_WINDOWS_DEPS)
  set(KORVEX_WINDOWS_DEPS ${CMAKE_CURRENT_LIST_DIR}/../build/windows-deps)
endif()
get_filename_component(KORVEX_WINDOWS_DEPS ${KORVEX_WINDOWS_DEPS} ABSOLUTE)
set(KORVEX_WINDOWS_DEPS ${KORVEX_WINDOWS_DEPS} CACHE PATH "Prefix of the cross-built dependencies")

set(CMAKE_FIND_ROOT_PATH /usr/${KORVEX_MINGW_TRIPLE} ${KORVEX_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
