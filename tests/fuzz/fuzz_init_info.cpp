// Any init info text through the protocol version reader. Beyond not crashing (deep nesting
// makes the JSON reader throw): a text judged malformed never yields a version, a version comes
// only from an empty text (0) or from a text whose first significant character opens an
// object and which names "version", and the same text always gives the same answer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "IpcClient/IpcClient.h"

namespace {

// The first character after white space and comments, or '\0' when there is none.
char FirstSignificant(const std::string& text) {
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      ++i;
    } else if (text.compare(i, 2, "//") == 0) {
      const size_t end = text.find_first_of("\r\n", i);
      i = end == std::string::npos ? text.size() : end;
    } else if (text.compare(i, 2, "/*") == 0) {
      const size_t end = text.find("*/", i + 2);
      i = end == std::string::npos ? text.size() : end + 2;
    } else {
      return c;
    }
  }
  return '\0';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  const std::string text(reinterpret_cast<const char*>(bytes), size);
  const CIpcClient::InitInfoVersion parsed = CIpcClient::ReadInitInfoVersion(text);
  if (parsed.malformed && parsed.version.has_value()) {
    std::abort();
  }
  if (text.empty() && (parsed.malformed || parsed.version != 0)) {
    std::abort();
  }
  if (!text.empty() && parsed.version.has_value() &&
      (FirstSignificant(text) != '{' || text.find("version") == std::string::npos)) {
    std::abort();
  }
  const CIpcClient::InitInfoVersion again = CIpcClient::ReadInitInfoVersion(text);
  if (again.malformed != parsed.malformed || again.version != parsed.version) {
    std::abort();
  }
  return 0;
}
