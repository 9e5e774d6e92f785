#include "IpcEndpoint.h"

#include "IpcStates.h"
#include "IpcSystem.h"

namespace {

bool IsNameByte(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '_' || c == '-';
}

}  // namespace

std::string CIpcEndpoint::DefaultDirectory() {
  const std::string overridden = ipc::sys::Environment("TBX_IPC_DIR");
  if (!overridden.empty()) {
    return overridden;
  }
  const std::string dir = ipc::sys::LibraryDirectory();
  return dir == "/" ? "/ipc" : dir + "/ipc";
}

std::string CIpcEndpoint::SanitizeName(const std::string& name) {
  std::string out = name;
  for (char& c : out) {
    if (!IsNameByte(static_cast<unsigned char>(c))) {
      c = '_';
    }
  }
  return out;
}

int32_t CIpcEndpoint::Open(const std::string& directory, const std::string& name, bool create,
                           std::string* why) {
  name_ = name;
  fileName_ = SanitizeName(name);
  // "." and ".." would name the directory itself or its parent, not a file in it.
  if (fileName_.empty() || fileName_ == "." || fileName_ == "..") {
    *why = "invalid server name '" + name + "'";
    return kIpcInvalidArgument;
  }
  directory_ = directory.empty() ? DefaultDirectory() : directory;
  path_ = directory_ + "/" + fileName_;
  if (create && !ipc::sys::MakePrivateDirectory(directory_, why)) {
    return kIpcSystemError;
  }
  return kIpcOk;
}
