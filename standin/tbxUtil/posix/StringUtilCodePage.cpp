// Texts of this platform already are UTF-8.
#include "tbx/StringUtil.h"

namespace tbx {

std::string CStringUtil::s2s_utf8(const std::string& text) {
  return text;
}

}  // namespace tbx
