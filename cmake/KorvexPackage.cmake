# The release package of the PE32 tree (make package-windows): KorvexMonitor-<version>-win32.zip,
# holding what an installation beside the agent needs: KorvexMonitor.exe, the compiler's runtime
# DLLs, the sample module and the default conf/ and rule/. The agent brings its own libraries;
# with KORVEX_PACKAGE_STANDINS the package is a test installation instead
# (KorvexMonitor-<version>-win32-test.zip), with the stand-in DLLs and the simulated agent.
option(KORVEX_PACKAGE_STANDINS "Package a test installation: the stand-in DLLs and Korvex.exe" OFF)

install(TARGETS KorvexMonitor RUNTIME DESTINATION .)
install(FILES ${KORVEX_RUNTIME_DLLS} DESTINATION .)
install(TARGETS echo LIBRARY DESTINATION modules RUNTIME DESTINATION modules)
install(DIRECTORY ${KORVEX_BIN_DIR}/conf ${KORVEX_BIN_DIR}/rule DESTINATION .)
set(suffix "")
if(KORVEX_PACKAGE_STANDINS)
  set(standins ${KORVEX_AGENT_LIBRARIES})
  list(REMOVE_ITEM standins win32standin)  # on Windows the system itself
  install(TARGETS ${standins} Korvex RUNTIME DESTINATION .)
  set(suffix "-test")
endif()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME KorvexMonitor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME "KorvexMonitor-${PROJECT_VERSION}-win32${suffix}")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
# Without the debugging information of the build (RelWithDebInfo): what an endpoint needs.
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
