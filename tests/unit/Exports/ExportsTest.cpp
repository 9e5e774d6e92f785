// The executable is the home of the proxy's singleton: it exports the singleton's members and
// nothing else of its own, and the libraries loaded into it leave those members to it.
#include <gtest/gtest.h>
#include <stdio.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

const char kSingleton[] = "CSingleton<CMsgTransmitProxy>";

// Symbols the toolchain puts into every dynamic symbol table; none of them is ours.
const std::set<std::string> kToolchainSymbols = {
    "_init", "_fini",        "_IO_stdin_used", "__bss_start",  "_edata",
    "_end",  "__data_start", "data_start",     "__dso_handle", "_start"};
// Runtime variables of the sanitizers that a sanitized build copies into the executable.
const char* const kSanitizerPrefixes[] = {"__asan_", "__ubsan_", "__lsan_", "__sanitizer_"};

bool IsToolchainSymbol(const std::string& name) {
  for (const char* prefix : kSanitizerPrefixes) {
    if (name.rfind(prefix, 0) == 0) {
      return true;
    }
  }
  return kToolchainSymbols.count(name) != 0;
}

std::string BinDir() {
  const char* bin = std::getenv("KORVEX_BIN_DIR");
  return bin == nullptr ? "" : bin;
}

// The symbol names that `nm <options>` lists for `file`, one per line; empty when nm fails.
std::vector<std::string> Symbols(const std::string& options, const std::string& file,
                                 std::string* error) {
  const std::string command = std::string(KORVEX_NM) + " " + options + " '" + file + "' 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    *error = "cannot run " + command;
    return {};
  }
  std::string output;
  char buffer[4096];
  for (size_t got; (got = fread(buffer, 1, sizeof(buffer), pipe)) > 0;) {
    output.append(buffer, got);
  }
  if (pclose(pipe) != 0) {
    *error = command + " failed: " + output;
    return {};
  }
  // Lines read "<address> <kind> <name>" or, undefined, "<blanks> U <name>"; a demangled name
  // may hold blanks, so the name is everything after the kind letter.
  std::vector<std::string> names;
  std::string::size_type start = 0;
  while (start < output.size()) {
    std::string::size_type end = output.find('\n', start);
    if (end == std::string::npos) {
      end = output.size();
    }
    const std::string line = output.substr(start, end - start);
    start = end + 1;
    const std::string::size_type kind = line.find_first_not_of(' ', line.find(' '));
    if (kind != std::string::npos && kind + 2 < line.size()) {
      names.push_back(line.substr(kind + 2));
    }
  }
  return names;
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  for (const std::string& candidate : names) {
    if (candidate == name) {
      return true;
    }
  }
  return false;
}

TEST(Exports, TheExecutableExportsTheProxySingletonsMembersAndNothingElseOfOurs) {
  std::string error;
  const std::vector<std::string> exported =
      Symbols("-D --defined-only -C", BinDir() + "/KorvexMonitor.exe", &error);
  ASSERT_TRUE(error.empty()) << error;

  const std::string singleton(kSingleton);
  for (const std::string& member :
       {singleton + "::CSingleton()", singleton + "::~CSingleton()", "vtable for " + singleton,
        singleton + "::GetInstance()", singleton + "::NewInstance()",
        singleton + "::RemoveInstance()", singleton + "::m_nRef", singleton + "::m_pInstance"}) {
    EXPECT_TRUE(Contains(exported, member)) << "not exported: " << member;
  }
  for (const std::string& name : exported) {
    if (!IsToolchainSymbol(name)) {
      EXPECT_NE(name.find(singleton), std::string::npos) << "exported: " << name;
    }
  }
}

TEST(Exports, TheProxyLibraryAndTheModulesLeaveTheSingletonToTheExecutable) {
  std::string error;
  const std::vector<std::string> exported =
      Symbols("-D --defined-only", BinDir() + "/KorvexMonitor.exe", &error);
  ASSERT_TRUE(error.empty()) << error;

  for (const std::string library : {"libvalkoMsgTransmitProxy.so", "modules/libecho.so"}) {
    const std::string path = BinDir() + "/" + library;
    // Each library's own definitions: a copy of the singleton there would be a second instance.
    for (const std::string& name : Symbols("-D --defined-only -C", path, &error)) {
      EXPECT_EQ(name.find(kSingleton), std::string::npos) << library << " defines " << name;
    }
    ASSERT_TRUE(error.empty()) << error;
    // What it leaves undefined of the singleton must be there to resolve in the executable.
    for (const std::string& name : Symbols("-D --undefined-only", path, &error)) {
      if (name.find("CSingletonI17CMsgTransmitProxy") != std::string::npos) {
        EXPECT_TRUE(Contains(exported, name)) << library << " needs " << name;
      }
    }
    ASSERT_TRUE(error.empty()) << error;
  }
  const std::vector<std::string> needed =
      Symbols("-D --undefined-only -C", BinDir() + "/libvalkoMsgTransmitProxy.so", &error);
  EXPECT_TRUE(Contains(needed, std::string(kSingleton) + "::GetInstance()"))
      << "the proxy library no longer reads the executable's singleton";
}

}  // namespace
