// Parsing of JSON texts that arrive from outside the process (received messages, command data).
// The texts are untrusted: parsing never recurses, and nesting is bounded so that neither the
// parse nor a later recursive walk of the document (such as re-serialising it) can exhaust the
// stack.
#pragma once

#include <string>

#include <rapidjson/document.h>

#include "IpcClient/JsonDepth.h"

// Parses `text` up to its first NUL byte (or its end) into `document`, which must be freshly
// constructed; bytes after a NUL are not read. Returns false, leaving `document` null, when that
// part is not one well-formed JSON value with nothing but white space after it, or when it nests
// deeper than kMaxReceivedJsonDepth. Encoding is not validated: string bytes are kept as they are.
bool ParseReceivedJson(const std::string& text, rapidjson::Document* document);
