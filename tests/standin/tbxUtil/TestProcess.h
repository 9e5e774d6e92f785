// The utility library's helper program (child_main.cpp), for the tests that need a second
// process: crashes, process ends, the guard.
#pragma once

#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace tbxtest {

inline std::string ChildProgram() {
  return TBX_TEST_CHILD;
}

// Runs the helper program with a scenario and its arguments; its status as WaitExit gives it.
inline int RunChild(const std::vector<std::string>& args) {
  const pid_t pid = korvex_test::Spawn(ChildProgram(), args);
  return pid < 0 ? -1 : korvex_test::WaitExit(pid);
}

}  // namespace tbxtest
