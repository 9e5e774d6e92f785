#include "Directories.h"

#include <filesystem>
#include <system_error>

#include "WideText.h"

namespace tbx {

bool Directories::Make(const std::string& path) {
  const std::filesystem::path wide(windows::Widen(path));
  std::error_code error;
  std::filesystem::create_directories(wide, error);
  return std::filesystem::is_directory(wide, error);
}

}  // namespace tbx
