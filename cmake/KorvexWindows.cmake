# The Windows builds (the `windows` preset, PE32, and `windows64`, PE32+): dependencies from the
# cross-built prefix and the Debian -dev packages' headers, DLL naming, and the mingw runtime
# beside the executables. The branches for Microsoft's compiler (MSVC, the `windows-msvc` preset)
# are written for the agent's engineers and never run here: see the README.

# JsonCpp, cross-built as a static library by scripts/install-deps --windows. The Linux build
# reaches it as PkgConfig::JSONCPP; the same name serves every target here. A JsonCpp built
# elsewhere (for Microsoft's compiler) may export only its shared library's target.
find_package(jsoncpp CONFIG REQUIRED)
add_library(PkgConfig::JSONCPP INTERFACE IMPORTED)
if(TARGET jsoncpp_static)
  target_link_libraries(PkgConfig::JSONCPP INTERFACE jsoncpp_static)
else()
  target_link_libraries(PkgConfig::JSONCPP INTERFACE jsoncpp_lib)
endif()

# Tests of a cross build run under Wine: ctest and GoogleTest's discovery start them through
# this build's own wrapper of scripts/wine-run, which knows the build and so its architecture and
# Wine prefix.
if(CMAKE_CROSSCOMPILING)
  set(KORVEX_WINE_RUN ${CMAKE_BINARY_DIR}/wine-run)
  file(CONFIGURE OUTPUT ${KORVEX_WINE_RUN} @ONLY CONTENT [[#!/bin/sh
# Runs a program of this Windows build under Wine (made by cmake/KorvexWindows.cmake).
KORVEX_WINDOWS_BUILD='@CMAKE_BINARY_DIR@' exec bash '@CMAKE_SOURCE_DIR@/scripts/wine-run' "$@"
]])
  file(CHMOD ${KORVEX_WINE_RUN} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
    GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KORVEX_WINE_RUN})
endif()

# Header-only libraries from the Debian -dev packages. Only their own folders are put on the
# include path (never /usr/include, whose C library headers are Linux's), as system headers so
# their warnings stay quiet. With Microsoft's compiler KORVEX_HEADER_DEPS_DIR names a folder that
# holds them (rapidjson/, spdlog/, fmt/, SimpleIni.h).
if(MSVC)
  set(KORVEX_HEADER_DEPS_DIR "" CACHE PATH "Folder with rapidjson/, spdlog/, fmt/, SimpleIni.h")
else()
  set(KORVEX_HEADER_DEPS_DIR ${CMAKE_BINARY_DIR}/header-deps)
  file(MAKE_DIRECTORY ${KORVEX_HEADER_DEPS_DIR})
endif()
foreach(entry rapidjson spdlog fmt SimpleIni.h)
  if(MSVC)
    if(NOT EXISTS ${KORVEX_HEADER_DEPS_DIR}/${entry})
      message(FATAL_ERROR "${entry} is missing from KORVEX_HEADER_DEPS_DIR")
    endif()
    continue()
  endif()
  if(NOT EXISTS /usr/include/${entry})
    message(FATAL_ERROR "/usr/include/${entry} is missing: run scripts/install-deps --windows")
  endif()
  if(NOT EXISTS ${KORVEX_HEADER_DEPS_DIR}/${entry})
    file(CREATE_LINK /usr/include/${entry} ${KORVEX_HEADER_DEPS_DIR}/${entry} SYMBOLIC)
  endif()
endforeach()
add_library(korvex_header_deps INTERFACE)
target_include_directories(korvex_header_deps SYSTEM INTERFACE ${KORVEX_HEADER_DEPS_DIR})

# spdlog and fmt compiled into each user; Debian's spdlog is configured for the external fmt.
add_library(spdlog::spdlog INTERFACE IMPORTED)
target_compile_definitions(spdlog::spdlog INTERFACE SPDLOG_HEADER_ONLY FMT_HEADER_ONLY)
target_link_libraries(spdlog::spdlog INTERFACE korvex_header_deps)

# A tree configured before its toolchain file chose 64-bit time (mingw-i686.cmake) keeps the
# flags it cached then; it makes the same choice here.
if(NOT MSVC AND KORVEX_WINDOWS_ARCH STREQUAL "x86" AND
    NOT CMAKE_CXX_FLAGS MATCHES "__MINGW_USE_VC2005_COMPAT")
  add_compile_definitions(__MINGW_USE_VC2005_COMPAT)
endif()

# Unicode Win32 names are spelled out (the W functions) where they are used; the narrow macros
# stay as the headers define them. Windows 7 is the oldest target. The monitor's sources get the
# lean headers without min and max from platform/win32/Win32.h itself; the stand-in's and the
# tests' own Windows code includes <windows.h> directly, and their folders ask for them
# (korvex_lean_windows_headers).
add_compile_definitions(_WIN32_WINNT=0x0601)
# The crash hook's back trace (CaptureStackBackTrace) follows the chain of frame pointers on
# 32-bit Windows; a function compiled without one hides its callers from the trace. (On x64 the
# system unwinds by the SEH tables instead; the flag costs little there.)
if(MSVC)
  add_compile_options(/Oy-)
else()
  add_compile_options(-fno-omit-frame-pointer)
endif()

# DLLs carry their Windows names (tbxUtil.dll, not libtbxUtil.dll); their import libraries stay
# out of the installation.
set(CMAKE_SHARED_LIBRARY_PREFIX "")
set(CMAKE_IMPORT_LIBRARY_PREFIX "lib")
set(CMAKE_ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
set(CMAKE_POSITION_INDEPENDENT_CODE OFF)

# The one shared C++ runtime every module uses (C++ objects cross DLL boundaries), and the
# threads library, beside the executables as on a real installation. Tests outside it find them
# there through WINEPATH (scripts/wine-run).
# Microsoft's runtime (/MD) is installed with the system, not beside the executables.
if(MSVC)
  add_custom_target(korvex_runtime_dlls)
else()
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
    OUTPUT_VARIABLE KORVEX_LIBSTDCXX_DLL OUTPUT_STRIP_TRAILING_WHITESPACE)
  # The gcc runtime is named after its unwinder: DWARF-2 tables on x86, SEH on x64.
  if(KORVEX_WINDOWS_ARCH STREQUAL "x64")
    set(korvex_libgcc_name libgcc_s_seh-1.dll)
  else()
    set(korvex_libgcc_name libgcc_s_dw2-1.dll)
  endif()
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${korvex_libgcc_name}
    OUTPUT_VARIABLE KORVEX_LIBGCC_DLL OUTPUT_STRIP_TRAILING_WHITESPACE)
  find_file(KORVEX_WINPTHREAD_DLL libwinpthread-1.dll
    PATHS /usr/${KORVEX_MINGW_TRIPLE}/lib NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  set(KORVEX_RUNTIME_DLLS ${KORVEX_LIBSTDCXX_DLL} ${KORVEX_LIBGCC_DLL} ${KORVEX_WINPTHREAD_DLL})
  foreach(dll IN LISTS KORVEX_RUNTIME_DLLS)
    if(NOT EXISTS ${dll})
      message(FATAL_ERROR "mingw runtime DLL not found: ${dll}")
    endif()
  endforeach()
  set(korvex_runtime_outputs)
  foreach(dll IN LISTS KORVEX_RUNTIME_DLLS)
    get_filename_component(name ${dll} NAME)
    add_custom_command(OUTPUT ${KORVEX_BIN_DIR}/${name}
      COMMAND ${CMAKE_COMMAND} -E copy ${dll} ${KORVEX_BIN_DIR}/${name}
      DEPENDS ${dll} COMMENT "Installing ${name}")
    list(APPEND korvex_runtime_outputs ${KORVEX_BIN_DIR}/${name})
  endforeach()
  add_custom_target(korvex_runtime_dlls ALL DEPENDS ${korvex_runtime_outputs})
endif()

# KorvexMonitor.def lists the executable's exports, the proxy singleton's members at ordinals 1
# to 8. The proxy library and the modules import them from KorvexMonitor.exe, so its import
# library is made from the .def before anything links (executable and proxy library need each
# other).
if(MSVC)
  # The same members under that compiler's names; lib.exe makes the import library.
  set(KORVEX_MONITOR_DEF ${CMAKE_SOURCE_DIR}/src/KorvexMonitor.msvc.def)
  set(KORVEX_MONITOR_IMPLIB ${CMAKE_BINARY_DIR}/lib/KorvexMonitor.lib)
  add_custom_command(OUTPUT ${KORVEX_MONITOR_IMPLIB}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/lib
    COMMAND ${CMAKE_AR} /NOLOGO /DEF:${KORVEX_MONITOR_DEF} /NAME:KorvexMonitor.exe
      /OUT:${KORVEX_MONITOR_IMPLIB}
    DEPENDS ${KORVEX_MONITOR_DEF}
    COMMENT "Import library of KorvexMonitor.exe from KorvexMonitor.msvc.def")
else()
  set(KORVEX_MONITOR_DEF ${CMAKE_SOURCE_DIR}/src/KorvexMonitor.def)
  set(KORVEX_MONITOR_IMPLIB ${CMAKE_BINARY_DIR}/lib/libKorvexMonitor.exe.a)
  add_custom_command(OUTPUT ${KORVEX_MONITOR_IMPLIB}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/lib
    COMMAND ${CMAKE_DLLTOOL} -d ${KORVEX_MONITOR_DEF} -D KorvexMonitor.exe -l ${KORVEX_MONITOR_IMPLIB}
    DEPENDS ${KORVEX_MONITOR_DEF}
    COMMENT "Import library of KorvexMonitor.exe from KorvexMonitor.def")
endif()
add_custom_target(korvex_monitor_implib DEPENDS ${KORVEX_MONITOR_IMPLIB})
add_library(korvex_monitor_imports INTERFACE)
add_dependencies(korvex_monitor_imports korvex_monitor_implib)
target_link_libraries(korvex_monitor_imports INTERFACE ${KORVEX_MONITOR_IMPLIB})

# korvex_monitor_executable(<target>): an executable that is the home of the proxy's singleton,
# as KorvexMonitor.exe is: it exports the members through KorvexMonitor.def and carries the name
# the proxy library imports them from (a test executable so named lives in its own folder).
function(korvex_monitor_executable target)
  if(MSVC)
    # A GUI executable whose entry is main: the console-style start-up code calls it.
    target_link_options(${target} PRIVATE /DEF:${KORVEX_MONITOR_DEF} /ENTRY:mainCRTStartup)
  else()
    # CMake hands a .def source only to DLL links; the linker takes it as an input file.
    target_link_options(${target} PRIVATE ${KORVEX_MONITOR_DEF})
  endif()
  target_compile_definitions(${target} PRIVATE KORVEX_BUILDING_MONITOR)
  set_target_properties(${target} PROPERTIES OUTPUT_NAME KorvexMonitor
    LINK_DEPENDS ${KORVEX_MONITOR_DEF})
endfunction()

# korvex_proxy_home_test(<target>): a test executable that plays the monitor's part as the home
# of the proxy's singleton: named KorvexMonitor.exe in a folder of its own.
function(korvex_proxy_home_test target)
  korvex_monitor_executable(${target})
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${KORVEX_TEST_BIN_DIR}/${target})
endfunction()

# korvex_application_resources(<target> <rc file>): the executable carries the application
# manifest and a version resource (cmake/windows/ApplicationResources.rc, from the build stamp),
# and a PE32 one may use the whole 4 GiB address space of a 64-bit Windows, not 2 GiB.
enable_language(RC)
function(korvex_application_resources target rc)
  target_sources(${target} PRIVATE ${rc})
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/cmake/windows
    ${KORVEX_STAMP_DIR})
  set_property(SOURCE ${rc} APPEND PROPERTY OBJECT_DEPENDS
    ${CMAKE_SOURCE_DIR}/cmake/windows/ApplicationResources.rc
    ${CMAKE_SOURCE_DIR}/cmake/windows/Application.manifest ${KORVEX_STAMP_DIR}/BuildStampValues.h)
  add_dependencies(${target} korvex_build_stamp)
  if(KORVEX_WINDOWS_ARCH STREQUAL "x86")
    if(MSVC)
      target_link_options(${target} PRIVATE /LARGEADDRESSAWARE)
    else()
      target_link_options(${target} PRIVATE LINKER:--large-address-aware)
    endif()
  endif()
endfunction()
