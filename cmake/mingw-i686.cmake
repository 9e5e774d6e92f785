# Cross-compiling for 32-bit Windows (PE32) with Debian's mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(KORVEX_MINGW_TRIPLE i686-w64-mingw32)
set(KORVEX_WINDOWS_ARCH x86)
set(KORVEX_WINDOWS_DEPS_NAME windows-deps)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
