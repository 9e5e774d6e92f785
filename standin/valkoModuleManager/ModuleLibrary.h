// A module library opened by path: the system's loader behind the module manager.
#pragma once

#include <string>

namespace valko::standin {

class ModuleLibrary {
 public:
  // Opens the library, resolving all its references now; null with `error` set on failure.
  static void* Open(const std::string& path, std::string* error);
  // The address of an exported function, or null with `error` set.
  static void* Find(void* handle, const char* name, std::string* error);
  // False with `error` set when the library could not be closed.
  static bool Close(void* handle, std::string* error);
};

}  // namespace valko::standin
