#include "ModuleLibrary.h"

#include <dlfcn.h>

namespace valko::standin {
namespace {

std::string DlErrorText() {
  const char* text = dlerror();
  return text == nullptr ? "unknown error" : text;
}

}  // namespace

void* ModuleLibrary::Open(const std::string& path, std::string* error) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    *error = DlErrorText();
  }
  return handle;
}

void* ModuleLibrary::Find(void* handle, const char* name, std::string* error) {
  dlerror();
  void* address = dlsym(handle, name);
  if (address == nullptr) {
    *error = DlErrorText();
  }
  return address;
}

bool ModuleLibrary::Close(void* handle, std::string* error) {
  if (dlclose(handle) != 0) {
    *error = DlErrorText();
    return false;
  }
  return true;
}

}  // namespace valko::standin
