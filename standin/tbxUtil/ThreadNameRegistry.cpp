#include "ThreadNameRegistry.h"

#include <mutex>
#include <unordered_map>

namespace tbx {
namespace {

struct Registry {
  std::mutex mutex;
  std::unordered_map<int64_t, std::string> names;  // guarded by mutex
};

// Never destroyed: threads may log while static destructors run at process exit.
Registry& TheRegistry() {
  static Registry* registry = new Registry;
  return *registry;
}

}  // namespace

void ThreadNameRegistry::Set(int64_t threadId, const std::string& name) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> hold(registry.mutex);
  registry.names[threadId] = name;
}

std::string ThreadNameRegistry::Get(int64_t threadId) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> hold(registry.mutex);
  auto found = registry.names.find(threadId);
  return found == registry.names.end() ? std::string() : found->second;
}

}  // namespace tbx
