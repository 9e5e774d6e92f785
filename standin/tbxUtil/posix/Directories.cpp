#include "Directories.h"

#include <filesystem>
#include <system_error>

namespace tbx {

bool Directories::Make(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  return std::filesystem::is_directory(path, error);
}

}  // namespace tbx
