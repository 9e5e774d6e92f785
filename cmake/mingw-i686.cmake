# Cross-compiling for 32-bit Windows (PE32) with Debian's mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(KORVEX_MINGW_TRIPLE i686-w64-mingw32)
set(KORVEX_WINDOWS_ARCH x86)
set(KORVEX_WINDOWS_DEPS_NAME windows-deps)
# time_t is 64 bits in every binary: mingw-w64 makes it 32 bits in 32-bit programs unless told
# otherwise, and a 32-bit time_t wraps on 2038-01-19. In the toolchain, so that the cross-built
# dependencies make the same choice (scripts/check-time64 fails the build on a 32-bit import).
set(CMAKE_C_FLAGS_INIT "-D__MINGW_USE_VC2005_COMPAT")
set(CMAKE_CXX_FLAGS_INIT "-D__MINGW_USE_VC2005_COMPAT")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
