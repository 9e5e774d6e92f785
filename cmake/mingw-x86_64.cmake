# Cross-compiling for 64-bit Windows (PE32+) with Debian's mingw-w64: the same sources as the
# PE32 build, run under 64-bit Wine on hosts that cannot execute 32-bit code.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(KORVEX_MINGW_TRIPLE x86_64-w64-mingw32)
set(KORVEX_WINDOWS_ARCH x64)
set(KORVEX_WINDOWS_DEPS_NAME windows64-deps)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
