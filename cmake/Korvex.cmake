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

# Under Wine the cases are listed when ctest runs, so building needs no Wine.
if(CMAKE_CROSSCOMPILING)
  set(KORVEX_DISCOVERY_MODE DISCOVERY_MODE PRE_TEST)
endif()

# korvex_gtest(<name> SOURCES <files...> [LIBS <targets...>] [TEST_PROPERTIES <prop value...>]
#              [FILTER <gtest filter>])
# One GoogleTest executable in build/<preset>/tests, registered with CTest case by case;
# TEST_PROPERTIES are added to every case (e.g. RUN_SERIAL TRUE). FILTER registers only the
# cases it selects. The cases carry their group's ctest label (KORVEX_TEST_GROUP: monitor,
# standin, e2e) and, when the first of LIBS (the library under test) is one of the monitor's or
# an agent library, its name.
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
  set(labels ${KORVEX_TEST_GROUP})
  if(ARG_LIBS)
    list(GET ARG_LIBS 0 tested)
    if(tested MATCHES "^monitor_" OR tested IN_LIST KORVEX_AGENT_LIBRARIES)
      list(APPEND labels ${tested})
    endif()
  endif()
  # What korvex_gtest_over_tcp and others registering this executable's cases again label them.
  set_target_properties(${name} PROPERTIES KORVEX_TEST_LABELS "${labels}")
  gtest_discover_tests(${name}
    TEST_LIST ${name}_CASES
    WORKING_DIRECTORY ${KORVEX_TEST_BIN_DIR}
    # One value per property: a list inside a property value would be split apart here.
    PROPERTIES ENVIRONMENT "KORVEX_BIN_DIR=${KORVEX_BIN_DIR}"
      ENVIRONMENT_MODIFICATION "KORVEX_SOURCE_DIR=set:${CMAKE_SOURCE_DIR}"
      ${ARG_TEST_PROPERTIES}
    DISCOVERY_TIMEOUT 60
    ${filter}
    ${KORVEX_DISCOVERY_MODE})
  korvex_test_labels(${name}_CASES ${labels})
endfunction()

# korvex_test_labels(<test list> <labels...>): the cases gtest_discover_tests registered under
# TEST_LIST <test list> carry these ctest labels. Its PROPERTIES cannot carry more than one label
# (a list there is split apart), so they are set when ctest reads the directory, after discovery.
function(korvex_test_labels list)
  set(file ${CMAKE_CURRENT_BINARY_DIR}/${list}_labels.cmake)
  file(WRITE ${file} "if(${list})\n  set_tests_properties(\${${list}} PROPERTIES LABELS \"${ARGN}\")\nendif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${file})
endfunction()

# korvex_gtest_over_tcp(<name> FILTER <gtest filter> [TEST_PROPERTIES <prop value...>])
# Registers the cases of the korvex_gtest executable <name> that FILTER selects once more,
# named "tcp.<case>", with TBX_IPC_TRANSPORT=tcp: the same tests over the stand-in IPC's
# loopback transport, with the label "tcp" beside the executable's.
function(korvex_gtest_over_tcp name)
  cmake_parse_arguments(ARG "" "FILTER" "TEST_PROPERTIES" ${ARGN})
  gtest_discover_tests(${name}
    TEST_PREFIX "tcp."
    TEST_LIST ${name}_TCP_CASES
    TEST_FILTER "${ARG_FILTER}"
    WORKING_DIRECTORY ${KORVEX_TEST_BIN_DIR}
    PROPERTIES ENVIRONMENT "KORVEX_BIN_DIR=${KORVEX_BIN_DIR}"
      ENVIRONMENT_MODIFICATION "TBX_IPC_TRANSPORT=set:tcp"
      ${ARG_TEST_PROPERTIES}
    DISCOVERY_TIMEOUT 60)
  get_target_property(labels ${name} KORVEX_TEST_LABELS)
  korvex_test_labels(${name}_TCP_CASES ${labels} tcp)
endfunction()

# korvex_lean_windows_headers(): the targets of this folder and below include <windows.h>
# without its rarely used parts and without the min and max macros (on Windows).
macro(korvex_lean_windows_headers)
  if(WIN32)
    add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX)
  endif()
endmacro()
