#include "valko/ModuleManager.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "ModuleLibrary.h"
#include "tbx/FileUtil.h"
#include "tbx/LogMessage.h"
#include "tbx/StringUtil.h"
#include "tbx/ToolUtil.h"
#include "tbxUtil/StandinSupport.h"
#include "valkoCommon/SingletonHome.h"
#include "valkoCommon/StandinFailure.h"

VALKO_SINGLETON_HOME(CModuleManager)

namespace {

const char kSource[] = "valkoModuleManager/ModuleManager";
constexpr size_t kMaxConfigLines = 1024;

using InitFunction = int32_t (*)();
using UninitFunction = void (*)();

using valko::standin::ModuleLibrary;

}  // namespace

struct CModuleManager::State {
  struct Module {
    std::string path;       // as resolved from the configuration
    void* handle;           // from ModuleLibrary::Open
    UninitFunction uninit;  // KorvexModuleUninit, or null when the module has none
  };

  // Serialises LoadModule and UnLoadModule as whole operations: a module's init and uninit
  // must never run at the same time. Held while calling into the modules, so a module must not
  // call the manager from its init or uninit.
  std::mutex operationMutex;
  std::mutex mutex;             // guards configPath and modules
  std::string configPath;       // as given to SetConfigPath
  std::vector<Module> modules;  // loaded and initialised, in load order
};

VALKO_STANDIN_CREATION(CModuleManager)

CModuleManager::CModuleManager() : state_(new State) {}

CModuleManager::~CModuleManager() {
  UnLoadModule();
  delete state_;
}

bool CModuleManager::SetConfigPath(const std::string& path) {
  std::lock_guard<std::mutex> hold(state_->mutex);
  state_->configPath = path;
  return true;
}

bool CModuleManager::LoadModule() {
  if (tbx::standin::ShouldFail("CModuleManager::LoadModule")) {
    tbx::CLogMessage::log(tbx::TBX_LOG_ERROR, kSource, __LINE__, "LoadModule refused");
    return false;
  }
  std::lock_guard<std::mutex> operation(state_->operationMutex);
  std::string configPath;
  {
    std::lock_guard<std::mutex> hold(state_->mutex);
    configPath = state_->configPath;
  }
  // No configuration is a configuration without modules; one that exists but cannot be read
  // is a failure.
  if (!tbx::CFileUtil::IsFile(configPath)) {
    tbx::CLogMessage::log(tbx::TBX_LOG_WARN, kSource, __LINE__,
                          "module config %s missing, no module loaded", configPath.c_str());
    return true;
  }
  std::vector<std::string> lines;
  if (!tbx::CFileUtil::ReadFileLineToList(configPath, lines, kMaxConfigLines)) {
    tbx::CLogMessage::log(tbx::TBX_LOG_ERROR, kSource, __LINE__, "module config %s unreadable",
                          configPath.c_str());
    return false;
  }
  std::string dir = tbx::CToolUtil::GetApplicationDirPath();
  for (const std::string& line : lines) {
    std::string entry = tbx::CStringUtil::stringTrimmed(line);
    if (entry.empty() || entry[0] == '#') {
      continue;
    }
    std::string path = entry[0] == '/' ? entry : dir + "/" + entry;
    {
      std::lock_guard<std::mutex> hold(state_->mutex);
      bool loaded = std::any_of(state_->modules.begin(), state_->modules.end(),
                                [&](const State::Module& m) { return m.path == path; });
      if (loaded) {
        continue;
      }
    }
    std::string error;
    void* handle = ModuleLibrary::Open(path, &error);
    if (handle == nullptr) {
      tbx::CLogMessage::log(tbx::TBX_LOG_ERROR, kSource, __LINE__, "load module %s fail: %s",
                            path.c_str(), error.c_str());
      return false;
    }
    auto init =
        reinterpret_cast<InitFunction>(ModuleLibrary::Find(handle, "KorvexModuleInit", &error));
    if (init == nullptr) {
      tbx::CLogMessage::log(tbx::TBX_LOG_ERROR, kSource, __LINE__,
                            "module %s has no KorvexModuleInit: %s", path.c_str(), error.c_str());
      ModuleLibrary::Close(handle, &error);
      return false;
    }
    auto uninit =
        reinterpret_cast<UninitFunction>(ModuleLibrary::Find(handle, "KorvexModuleUninit", &error));
    int32_t result = init();
    if (result != 0) {
      tbx::CLogMessage::log(tbx::TBX_LOG_ERROR, kSource, __LINE__, "module %s init fail: %d",
                            path.c_str(), result);
      ModuleLibrary::Close(handle, &error);
      return false;
    }
    tbx::CLogMessage::log(tbx::TBX_LOG_INFO, kSource, __LINE__, "module %s loaded", path.c_str());
    std::lock_guard<std::mutex> hold(state_->mutex);
    state_->modules.push_back({path, handle, uninit});
  }
  return true;
}

bool CModuleManager::UnLoadModule() {
  std::lock_guard<std::mutex> operation(state_->operationMutex);
  std::vector<State::Module> modules;
  {
    std::lock_guard<std::mutex> hold(state_->mutex);
    modules.swap(state_->modules);
  }
  bool allClosed = true;
  for (auto it = modules.rbegin(); it != modules.rend(); ++it) {
    if (it->uninit != nullptr) {
      it->uninit();
    }
    std::string error;
    if (!ModuleLibrary::Close(it->handle, &error)) {
      tbx::CLogMessage::log(tbx::TBX_LOG_ERROR, kSource, __LINE__, "unload module %s fail: %s",
                            it->path.c_str(), error.c_str());
      allClosed = false;
      continue;
    }
    tbx::CLogMessage::log(tbx::TBX_LOG_INFO, kSource, __LINE__, "module %s unloaded",
                          it->path.c_str());
  }
  return allClosed;
}
