// The executable is the home of the proxy's singleton: it exports the singleton's members and
// nothing else of its own, and the libraries loaded into it leave those members to it. The ELF
// files of this build are read with nm (Exports), the PE files of a Windows build with the
// mingw objdump (WindowsExports); both are host tools whose text is parsed here. The Windows
// build is the one KORVEX_WINDOWS_BUILD names (build/windows unless set), PE32 or PE32+ as its
// CMake cache says; every file of its installation must load from the installation and the
// system alone.
#include <gtest/gtest.h>
#include <stdio.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <utility>
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

std::string WindowsBuild() {
  const char* build = std::getenv("KORVEX_WINDOWS_BUILD");
  return build != nullptr && *build != '\0' ? build : KORVEX_WINDOWS_BUILD_DEFAULT;
}

std::string WindowsBinDir() {
  return WindowsBuild() + "/install/korvex/valko_client/bin";
}

// "x86" or "x64": the architecture the Windows build's CMake cache records.
std::string WindowsArch() {
  std::ifstream cache(WindowsBuild() + "/CMakeCache.txt");
  const std::string key = "KORVEX_WINDOWS_ARCH:STRING=";
  for (std::string line; std::getline(cache, line);) {
    if (line.rfind(key, 0) == 0) {
      return line.substr(key.size());
    }
  }
  return "";
}

// The optional header's magic that every file of the Windows build must carry: 010b (PE32) for
// x86, 020b (PE32+) for x64; "" when the build records no architecture.
std::string WindowsMagic() {
  const std::string arch = WindowsArch();
  return arch == "x86" ? "010b" : arch == "x64" ? "020b" : "";
}

// What `<tool> <options> '<file>'` prints; "" with `error` set when it fails.
std::string RunTool(const std::string& tool, const std::string& options, const std::string& file,
                    std::string* error) {
  const std::string command = tool + " " + options + " '" + file + "' 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    *error = "cannot run " + command;
    return "";
  }
  std::string output;
  char buffer[4096];
  for (size_t got; (got = fread(buffer, 1, sizeof(buffer), pipe)) > 0;) {
    output.append(buffer, got);
  }
  if (pclose(pipe) != 0) {
    *error = command + " failed: " + output;
    return "";
  }
  return output;
}

// The symbol names that `nm <options>` lists for `file`, one per line; empty when nm fails.
std::vector<std::string> Symbols(const std::string& options, const std::string& file,
                                 std::string* error) {
  const std::string output = RunTool(KORVEX_NM, options, file, error);
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

// --- The PE files of the Windows build, as `objdump -p` shows their headers and tables ---

// (ordinal, name) of each line "<name> @<ordinal> [DATA]" after EXPORTS in src/<file>.
std::vector<std::pair<int, std::string>> DefExports(const std::string& file) {
  std::ifstream in(std::string(KORVEX_SOURCE_ROOT) + "/src/" + file);
  static const std::regex entry(R"(^\s*(\S+)\s+@(\d+)(\s+DATA)?\s*$)");
  std::vector<std::pair<int, std::string>> exports;
  for (std::string line; std::getline(in, line);) {
    std::smatch match;
    if (line.rfind(";", 0) != 0 && std::regex_search(line, match, entry)) {
      exports.emplace_back(std::stoi(match[2]), match[1]);
    }
  }
  return exports;
}

// The singleton's members as KorvexMonitor.def exports them, at ordinals 1 to 8 in this order
// (BothDefFilesNameTheSameEightMembersInTheSameOrder holds the file to the members).
std::vector<std::string> PeExports() {
  std::vector<std::string> names;
  for (const auto& [ordinal, name] : DefExports("KorvexMonitor.def")) {
    names.push_back(name);
  }
  return names;
}
const char kMangledSingleton[] = "CSingletonI17CMsgTransmitProxy";

// What `objdump -p` says of one PE file.
struct PeFile {
  std::string magic;      // of the optional header: 010b for PE32, 020b for PE32+
  std::string subsystem;  // 00000002 for the Windows GUI
  std::string ordinalBase;
  std::set<int> addressOrdinals;                   // every entry of the export address table
  std::vector<std::pair<int, std::string>> named;  // (ordinal, name) of the name table
  std::map<std::string, std::vector<std::string>> imports;  // by DLL, member names
};

// Reads the lines of `objdump -p` output. The export address table prints an entry as
// "[i] +base[o] <rva> Export RVA", the name table as "[i] <name>" (newer objdumps as
// "[i] +base[o] <hint> <name>"), where i is the ordinal less the base. The import table lists,
// after each "DLL Name: <dll>" line and a column header, one "<vma> <hint> <name>" line per
// member. Every table ends with a blank line.
PeFile ParsePe(const std::string& text) {
  static const std::regex field(R"(^(Magic|Subsystem|Ordinal Base)\s+([0-9a-fA-F]+))");
  static const std::regex entry(
      R"(^\s*\[\s*(\d+)\]\s+(?:\+base\[\s*(\d+)\]\s+[0-9a-fA-F]+\s+)?(\S.*?)\s*$)");
  static const std::regex member(R"(^\s*[0-9a-fA-F]+\s+\d+\s+(\S+)\s*$)");
  PeFile pe;
  enum class Section { kNone, kAddresses, kNames, kImports } section = Section::kNone;
  std::string dll;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    std::smatch match;
    const auto ordinal = [&pe, &match] {
      const int base = pe.ordinalBase.empty() ? 0 : std::stoi(pe.ordinalBase);
      return match[2].matched ? std::stoi(match[2]) : std::stoi(match[1]) + base;
    };
    if (std::regex_search(line, match, field)) {
      (match[1] == "Magic"       ? pe.magic
       : match[1] == "Subsystem" ? pe.subsystem
                                 : pe.ordinalBase) = match[2];
    } else if (line.find("Export Address Table --") != std::string::npos) {
      section = Section::kAddresses;
    } else if (line.find("[Ordinal/Name Pointer] Table") != std::string::npos) {
      section = Section::kNames;
    } else if (line.find("DLL Name: ") != std::string::npos) {
      section = Section::kImports;
      dll = line.substr(line.find("DLL Name: ") + 10);
      pe.imports[dll];
    } else if (line.find_first_not_of(" \t\r") == std::string::npos) {
      section = Section::kNone;
    } else if (section == Section::kAddresses && std::regex_search(line, match, entry)) {
      pe.addressOrdinals.insert(ordinal());
    } else if (section == Section::kNames && std::regex_search(line, match, entry)) {
      pe.named.emplace_back(ordinal(), match[3]);
    } else if (section == Section::kImports && std::regex_search(line, match, member)) {
      pe.imports[dll].push_back(match[1]);
    }
  }
  // The name table is sorted by name; the order that counts is the ordinals'.
  std::sort(pe.named.begin(), pe.named.end());
  return pe;
}

PeFile ReadPe(const std::string& file, std::string* error) {
  return ParsePe(RunTool(KORVEX_OBJDUMP, "-p", file, error));
}

TEST(WindowsExports, TheExecutableIsAGuiPeOfItsTreeExportingTheEightSingletonMembersByOrdinal) {
  ASSERT_NE(WindowsMagic(), "") << "no architecture in " << WindowsBuild() << "/CMakeCache.txt";
  std::string error;
  const PeFile exe = ReadPe(WindowsBinDir() + "/KorvexMonitor.exe", &error);
  ASSERT_TRUE(error.empty()) << error;

  EXPECT_EQ(exe.magic, WindowsMagic()) << "not the format of the " << WindowsArch() << " tree";
  EXPECT_EQ(exe.subsystem, "00000002") << "not the Windows GUI subsystem";
  EXPECT_EQ(exe.ordinalBase, "1");
  const std::vector<std::pair<int, std::string>> expected = DefExports("KorvexMonitor.def");
  ASSERT_EQ(expected.size(), 8u);
  EXPECT_EQ(exe.named, expected);
  // An export without a name has an address entry and no name entry.
  EXPECT_EQ(exe.addressOrdinals, (std::set<int>{1, 2, 3, 4, 5, 6, 7, 8}));
}

// The proxy library and the modules reach the executable's one singleton: whatever of it they
// use they import from KorvexMonitor.exe (the proxy library its GetInstance), and none of them
// exports a copy. The echo module reaches the proxy through the proxy library.
TEST(WindowsExports, TheProxyLibraryAndTheModulesImportTheSingletonFromTheExecutable) {
  const std::vector<std::string> singleton = PeExports();
  ASSERT_EQ(singleton.size(), 8u);
  const std::set<std::string> exported(singleton.begin(), singleton.end());
  std::map<std::string, PeFile> files;
  for (const std::string library : {"valkoMsgTransmitProxy.dll", "modules/libecho.dll"}) {
    SCOPED_TRACE(library);
    std::string error;
    const PeFile& pe = files[library] = ReadPe(WindowsBinDir() + "/" + library, &error);
    ASSERT_TRUE(error.empty()) << error;
    for (const auto& [ordinal, name] : pe.named) {
      EXPECT_EQ(name.find(kMangledSingleton), std::string::npos) << "exports " << name;
    }
    for (const auto& [dll, members] : pe.imports) {
      for (const std::string& name : members) {
        if (dll == "KorvexMonitor.exe") {
          EXPECT_EQ(exported.count(name), 1u) << "imports " << name << " the executable lacks";
        } else {
          EXPECT_EQ(name.find(kMangledSingleton), std::string::npos)
              << "imports " << name << " from " << dll;
        }
      }
    }
  }
  const auto imports = [&files](const std::string& library, const std::string& dll,
                                const std::string& name) {
    const std::vector<std::string>& members = files[library].imports[dll];
    return std::find(members.begin(), members.end(), name) != members.end();
  };
  EXPECT_TRUE(imports("valkoMsgTransmitProxy.dll", "KorvexMonitor.exe", singleton[3]))
      << "the proxy library no longer reads the executable's singleton";
  EXPECT_TRUE(
      imports("modules/libecho.dll", "valkoMsgTransmitProxy.dll", "_Z22GetMsgTransmitInstancev"))
      << "the echo module no longer reaches the proxy through the proxy library";
}

// The DLLs of Windows itself that files of the installation may import; any other DLL must be a
// file of the installation, or the program will not start on a machine that has only the
// system and the installation.
const std::set<std::string> kSystemDlls = {
    "advapi32.dll", "bcrypt.dll", "dbghelp.dll", "iphlpapi.dll", "kernel32.dll",
    "msvcrt.dll",   "psapi.dll",  "shell32.dll", "user32.dll",   "ws2_32.dll"};

std::string Lower(std::string text) {
  for (char& c : text) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return text;
}

TEST(WindowsExports, EveryFileOfTheInstallationHasTheTreesFormatAndImportsOnlyWhatIsThere) {
  namespace fs = std::filesystem;
  ASSERT_NE(WindowsMagic(), "") << "no architecture in " << WindowsBuild() << "/CMakeCache.txt";
  std::map<std::string, std::string> files;  // lower-case file name -> path
  std::error_code ec;
  for (const auto& entry : fs::recursive_directory_iterator(WindowsBinDir(), ec)) {
    const std::string extension = Lower(entry.path().extension().string());
    if (entry.is_regular_file() && (extension == ".exe" || extension == ".dll")) {
      files[Lower(entry.path().filename().string())] = entry.path().string();
    }
  }
  ASSERT_FALSE(ec) << WindowsBinDir() << ": " << ec.message();
  ASSERT_EQ(files.count("korvexmonitor.exe"), 1u) << "no KorvexMonitor.exe in " << WindowsBinDir();

  for (const auto& [name, path] : files) {
    std::string error;
    const PeFile pe = ReadPe(path, &error);
    ASSERT_TRUE(error.empty()) << error;
    EXPECT_EQ(pe.magic, WindowsMagic()) << path;
    EXPECT_FALSE(pe.imports.empty()) << path << ": no import table read";
    for (const auto& [dll, members] : pe.imports) {
      const std::string wanted = Lower(dll);
      EXPECT_TRUE(files.count(wanted) != 0 || kSystemDlls.count(wanted) != 0)
          << path << " imports " << dll << ", which is neither in the installation nor a "
          << "Windows system DLL";
    }
  }
}

// The bytes of `text` as UTF-16LE, how a version resource keeps its strings.
std::string Utf16(const std::string& text) {
  std::string wide;
  for (char c : text) {
    wide += c;
    wide += '\0';
  }
  return wide;
}

// Both executables run with their starter's rights and name the Windows versions they were made
// for, carry the version in a version resource, and the PE32 monitor may use more than 2 GiB.
TEST(WindowsExports, TheExecutablesCarryAManifestAndAVersionAndPe32IsLargeAddressAware) {
  for (const std::string program : {"KorvexMonitor.exe", "Korvex.exe"}) {
    SCOPED_TRACE(program);
    const std::string path = WindowsBinDir() + "/" + program;
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(bytes.empty()) << "cannot read " << path;
    EXPECT_NE(bytes.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"),
              std::string::npos);
    for (const char* os :
         {"35138b9a-5d96-4fbd-8e2d-a2440225f93a", "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38",
          "1f676c76-80e1-4239-95bb-83d0f6d0da78", "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"}) {
      EXPECT_NE(bytes.find(os), std::string::npos) << "no supportedOS " << os;
    }
    // A string entry is its key, a zero and padding to 4 bytes, then its value.
    for (const char* key : {"FileVersion", "ProductVersion"}) {
      const size_t at = bytes.find(Utf16(key) + std::string(2, '\0'));
      ASSERT_NE(at, std::string::npos) << "no " << key;
      const size_t value = bytes.find_first_not_of('\0', at + Utf16(key).size());
      EXPECT_EQ(bytes.compare(value, Utf16(KORVEX_VERSION).size(), Utf16(KORVEX_VERSION)), 0)
          << key << " is not " << KORVEX_VERSION;
    }
    std::string error;
    const std::string headers = RunTool(KORVEX_OBJDUMP, "-p", path, &error);
    ASSERT_TRUE(error.empty()) << error;
    if (WindowsArch() == "x86") {
      EXPECT_NE(headers.find("\tlarge address aware\n"), std::string::npos);
    }
  }
}

// --- The two .def files: mingw's names and the agent's compiler's, for the same members ---

// The symbols clang defines for SingletonExports.cpp when it compiles for `target`.
std::set<std::string> ClangSymbols(const std::string& target, std::string* error) {
  const std::string source = std::string(KORVEX_SOURCE_ROOT) + "/tests/monitor/Exports";
  const std::string options = "--target=" + target + " -std=c++17 -nostdinc++ -isystem '" + source +
                              "/stubs' -I '" + KORVEX_SOURCE_ROOT + "/platform' -S -o -";
  const std::string assembly =
      RunTool(KORVEX_CLANG, options, source + "/SingletonExports.cpp", error);
  static const std::regex global(R"re(^\s*\.globl\s+"?([^"\s]+)"?)re");
  std::set<std::string> symbols;
  std::istringstream in(assembly);
  for (std::string line; std::getline(in, line);) {
    std::smatch match;
    if (std::regex_search(line, match, global)) {
      symbols.insert(match[1]);
    }
  }
  return symbols;
}

// Which member of CSingleton<CMsgTransmitProxy> a demangled name is: its name, "~" for the
// destructor, "" for the constructor, "vtable" for the virtual table.
std::string Member(const std::string& demangled) {
  if (demangled.find("vtable for") != std::string::npos ||
      demangled.find("`vftable'") != std::string::npos) {
    return "vtable";
  }
  static const std::regex member(R"(CSingleton<(?:class )?CMsgTransmitProxy>::(~?)(\w+))");
  std::smatch match;
  if (!std::regex_search(demangled, match, member)) {
    return "?" + demangled;
  }
  return match[2] == "CSingleton" ? std::string(match[1]) : std::string(match[2]);
}

std::string Demangle(const std::string& tool, const std::string& name, std::string* error) {
  std::string text = RunTool(tool, "", name, error);
  // llvm-undname echoes the name on its own line first.
  while (!text.empty() && text.back() == '\n') {
    text.pop_back();
  }
  return text.substr(text.find_last_of('\n') + 1);
}

TEST(Exports, BothDefFilesNameTheSameEightMembersInTheSameOrder) {
  struct Compiler {
    const char* def;
    const char* target;
    const char* demangler;
    const char* prefix;  // what the target puts before every C++ name
  };
  const Compiler compilers[] = {
      {"KorvexMonitor.def", "i686-w64-mingw32", KORVEX_CXXFILT, "_"},
      {"KorvexMonitor.msvc.def", "i686-pc-windows-msvc", KORVEX_UNDNAME, ""}};
  std::vector<std::vector<std::string>> members;
  for (const Compiler& compiler : compilers) {
    SCOPED_TRACE(compiler.def);
    std::string error;
    const std::set<std::string> symbols = ClangSymbols(compiler.target, &error);
    ASSERT_TRUE(error.empty()) << error;
    const std::vector<std::pair<int, std::string>> exports = DefExports(compiler.def);
    ASSERT_EQ(exports.size(), 8u);
    members.emplace_back();
    for (size_t i = 0; i < exports.size(); ++i) {
      const auto& [ordinal, name] = exports[i];
      EXPECT_EQ(ordinal, static_cast<int>(i) + 1) << name;
      EXPECT_EQ(symbols.count(compiler.prefix + name), 1u)
          << name << " is not a name of " << compiler.target;
      const std::string demangled = Demangle(compiler.demangler, name, &error);
      ASSERT_TRUE(error.empty()) << error;
      members.back().push_back(Member(demangled));
    }
  }
  const std::vector<std::string> expected = {
      "", "~", "vtable", "GetInstance", "NewInstance", "RemoveInstance", "m_nRef", "m_pInstance"};
  EXPECT_EQ(members[0], expected) << "KorvexMonitor.def";
  EXPECT_EQ(members[1], expected) << "KorvexMonitor.msvc.def";
}

}  // namespace
