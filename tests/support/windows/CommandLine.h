// The command line CreateProcessW hands a program, built from its path and arguments.
#pragma once

#include <string>
#include <vector>

namespace korvex_test::system_support {

// The program and each argument quoted so that the C runtime's parser reads them back as given:
// quotes escaped, and the backslashes before them (or before a closing quote) doubled.
std::wstring CommandLine(const std::string& program, const std::vector<std::string>& args);

}  // namespace korvex_test::system_support
