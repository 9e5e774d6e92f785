// Any file content as <D>/conf/network_config. Whatever the loader hands over must come from
// the file: the accepted domains, joined again with "|", are a piece of the input, and no
// domain contains the separator.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "NetworkConfig.h"
#include "tbxUtil/TbxTestSeams.h"
#include "valko/ValkoCommon.h"
#include "valkoCommon/ValkoCommonTestSeams.h"

namespace {

const char kSentinel[] = "sentinel.invalid";

// The application directory of this run, with its conf/ folder; removed at exit. Never
// destroyed, so the exit handler still finds it.
const std::string& ApplicationDir() {
  static const std::string* dir = [] {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/fuzz_netcfg_XXXXXX";
    if (::mkdtemp(&pattern[0]) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    std::filesystem::create_directories(pattern + "/conf");
    tbx::testing::OverrideApplicationDir(pattern);
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(ApplicationDir(), ignored);
    });
    return new std::string(pattern);
  }();
  return *dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  const std::string& dir = ApplicationDir();
  static CGlobalDomainConfig* domains = CSingleton<CGlobalDomainConfig>::NewInstance();
  if (domains == nullptr || !domains->SetDefaultSrvDomain({}, {kSentinel})) {
    std::abort();
  }
  const std::string content(reinterpret_cast<const char*>(bytes), size);
  {
    std::ofstream out(dir + "/conf/network_config", std::ios::binary | std::ios::trunc);
    out << content;
  }

  const bool accepted = LoadNetworkConfig();

  std::vector<std::string> first, second;
  valko::testing::GetDefaultSrvDomain(first, second);
  if (!accepted) {
    if (second != std::vector<std::string>{kSentinel}) {
      std::abort();  // a refused hand-over changed the configuration
    }
    return 0;
  }
  if (!first.empty() || second.empty()) {
    std::abort();
  }
  std::string joined;
  for (size_t i = 0; i < second.size(); ++i) {
    if (second[i].find('|') != std::string::npos) {
      std::abort();
    }
    joined += (i == 0 ? "" : "|") + second[i];
  }
  if (content.find(joined) == std::string::npos) {
    std::abort();  // a domain that is not in the file
  }
  return 0;
}
