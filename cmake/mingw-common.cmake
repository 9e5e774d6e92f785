# What both Windows toolchain files share: Debian's mingw-w64 cross compiler for
# KORVEX_MINGW_TRIPLE (posix thread model, so std::thread and <semaphore.h> come from
# winpthreads), and the prefix of the cross-built JsonCpp and GoogleTest. The including file sets
# KORVEX_MINGW_TRIPLE, KORVEX_WINDOWS_ARCH (x86 or x64) and CMAKE_SYSTEM_PROCESSOR first.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${KORVEX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KORVEX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KORVEX_MINGW_TRIPLE}-windres)
set(CMAKE_DLLTOOL ${KORVEX_MINGW_TRIPLE}-dlltool)
set(CMAKE_OBJDUMP ${KORVEX_MINGW_TRIPLE}-objdump)

# The cross-built JsonCpp and GoogleTest (scripts/install-deps --windows), one prefix per
# architecture.
if(NOT KORVEX_WINDOWS_DEPS)
  set(KORVEX_WINDOWS_DEPS ${CMAKE_CURRENT_LIST_DIR}/../build/${KORVEX_WINDOWS_DEPS_NAME})
endif()
get_filename_component(KORVEX_WINDOWS_DEPS ${KORVEX_WINDOWS_DEPS} ABSOLUTE)
set(KORVEX_WINDOWS_DEPS ${KORVEX_WINDOWS_DEPS} CACHE PATH "Prefix of the cross-built dependencies")
# scripts/wine-run reads the architecture from the cache to pick the Wine loader and prefix.
set(KORVEX_WINDOWS_ARCH ${KORVEX_WINDOWS_ARCH} CACHE STRING "x86 (PE32) or x64 (PE32+)" FORCE)

set(CMAKE_FIND_ROOT_PATH /usr/${KORVEX_MINGW_TRIPLE} ${KORVEX_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
