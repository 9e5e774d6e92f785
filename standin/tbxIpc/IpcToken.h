// tbxIpc: the secret a loopback server publishes in its endpoint file and a client repeats in
// its HELLO frame.
#pragma once

#include <string>

#include "Export.h"

namespace ipc {

// kIpcTokenLength lowercase hexadecimal digits from the system's random generator. False,
// with the reason, when the generator fails: a guessable token must never be used.
bool NewToken(std::string* token, std::string* why);

// True when `offered` equals `expected`. The time taken does not depend on where they differ,
// so a peer cannot learn the token a character at a time.
TBXIPC_API bool TokenMatches(const std::string& offered, const std::string& expected);

}  // namespace ipc
