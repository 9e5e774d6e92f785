# Helpers shared by the stand-in, the monitor, the tests and the benchmarks.

# The agent libraries in the order the deployment lists them; each is a shared library built
# from standin/<name>/ into the installation's bin directory.
set(KORVEX_AGENT_LIBRARIES
  tbxUtil tbxIpc valkoCommon valkoConfig valkoControl valkoError valkoMonitor valkoMt
  valkoModuleManager valkoMsgTransmitProxy valkoFileWatch valkoProcMng FileQuara ModuleCommon
  win32standin)

# korvex_standin_library(<name> SOURCES <files...> [LIBS <targets...>])
# A stand-in agent library: shared, in the bin directory, finding its siblings via $ORIGIN.
function(korvex_standin_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} SHARED ${ARG_SOURCES})
  target_link_libraries(${name} PUBLIC korvex_platform ${ARG_LIBS})
  # Stand-in libraries may include each other's internal headers as "<folder>/<header>".
  target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/standin)
  set_target_properties(${name} PROPERTIES BUILD_RPATH "$ORIGIN")
  # Export.h exports a library's own symbols while it is built and imports them elsewhere.
  string(TOUPPER ${name} upper)
  target_compile_definitions(${name} PRIVATE KORVEX_BUILDING_${upper})
endfunction()

# Executables keep their Windows file names everywhere; a Windows build adds the suffix itself.
if(WIN32)
  set(KORVEX_EXE_SUFFIX "")
else()
  set(KORVEX_EXE_SUFFIX ".exe")
endif()

# Where a folder of the stand-in keeps the code of this platform: posix/ or windows/.
if(WIN32)
  set(KORVEX_OS_DIR windows)
else()
  set(KORVEX_OS_DIR posix)
endif()

# Whether tbxIpc has its client API and transport on this platform: on both, Windows over the
# loopback TCP transport. A port to a system without either may turn it off.
set(KORVEX_HAVE_IPC_CLIENT ON)

# Under Wine the cases are listed when ctest runs, so building needs no Wine.
if(CMAKE_CROSSCOMPILING)
  set(KORVEX_DISCOVERY_MODE DISCOVERY_MODE PRE_TEST)
endif()

# korvex_gtest(<name> SOURCES <files...> [LIBS <targets...>] [TEST_PROPERTIES <prop value...>]
#              [FILTER <gtest filter>])
# One GoogleTest executable in build/<preset>/tests, registered with CTest case by case;
# TEST_PROPERTIES are added to every case (e.g. RUN_SERIAL TRUE). FILTER registers only the
# cases it selects.
function(korvex_gtest name)
  cmake_parse_arguments(ARG "" "FILTER" "SOURCES;LIBS;TEST_PROPERTIES" ${ARGN})
  set(filter)
  if(ARG_FILTER)
    set(filter TEST_FILTER "${ARG_FILTER}")
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}
    ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/standin)
  set_target_properties(${name} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${KORVEX_TEST_BIN_DIR}
    BUILD_RPATH "${KORVEX_OUTSIDE_RPATH}")
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${KORVEX_TEST_BIN_DIR}
    # One value per property: a list inside a property value would be split apart here.
    PROPERTIES ENVIRONMENT "KORVEX_BIN_DIR=${KORVEX_BIN_DIR}"
      ENVIRONMENT_MODIFICATION "KORVEX_SOURCE_DIR=set:${CMAKE_SOURCE_DIR}"
      ${ARG_TEST_PROPERTIES}
    DISCOVERY_TIMEOUT 60
    ${filter}
    ${KORVEX_DISCOVERY_MODE})
endfunction()

# korvex_gtest_over_tcp(<name> FILTER <gtest filter> [TEST_PROPERTIES <prop value...>])
# Registers the cases of the korvex_gtest executable <name> that FILTER selects once more,
# named "tcp.<case>", with TBX_IPC_TRANSPORT=tcp: the same tests over the stand-in IPC's
# loopback transport.
function(korvex_gtest_over_tcp name)
  cmake_parse_arguments(ARG "" "FILTER" "TEST_PROPERTIES" ${ARGN})
  gtest_discover_tests(${name}
    TEST_PREFIX "tcp."
    TEST_FILTER "${ARG_FILTER}"
    WORKING_DIRECTORY ${KORVEX_TEST_BIN_DIR}
    PROPERTIES ENVIRONMENT "KORVEX_BIN_DIR=${KORVEX_BIN_DIR}"
      ENVIRONMENT_MODIFICATION "TBX_IPC_TRANSPORT=set:tcp"
      ${ARG_TEST_PROPERTIES}
    DISCOVERY_TIMEOUT 60)
endfunction()

# korvex_test_fakes(<target> <LIBRARY>...): <target> defines its own fakes of some classes and
# functions of these libraries (upper-case names as in platform/Export.h). On Windows their
# declarations then mean the target's own definitions instead of imports from the DLLs, whose
# other functions it may still link against.
function(korvex_test_fakes target)
  if(WIN32)
    foreach(library IN LISTS ARGN)
      target_compile_definitions(${target} PRIVATE KORVEX_BUILDING_${library})
    endforeach()
  endif()
endfunction()
