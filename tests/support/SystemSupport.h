// What the test support needs of the system: temporary directories and the environment.
#pragma once

#include <string>

namespace korvex_test::system_support {

// A fresh directory under the system's temporary directory (absolute, "/" as the separator,
// none at the end); aborts when none can be made.
std::string MakeTempDir();
// In a child that RunInChild started as a new process: the directory of the parent's process
// log, which the child appends to; "" otherwise.
std::string InheritedLogDir();
// The process log's directory once OpenProcessLog has run; "" before (the portable part).
std::string ProcessLogDir();
// Sets or removes a variable of this process's environment, seen by getenv and by children.
void SetEnv(const std::string& name, const std::string& value);
void UnsetEnv(const std::string& name);

}  // namespace korvex_test::system_support
