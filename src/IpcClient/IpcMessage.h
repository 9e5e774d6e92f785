// The outgoing message record and the forms it is packed into before the IPC library gets it:
// the standard envelope (a JSON text of our own builder), the IPC-only envelope (JsonCpp) and
// the serialized header that travels beside the unchanged data text.
#pragma once

#include <cstdint>
#include <string>

#include "IpcClient/JsonDepth.h"

// One outgoing message, copied by value into the send list and out of it. A fresh record has
// four empty strings; the send operation that fills it sets the scalars.
struct IpcMessage {
  std::string type;       // message type name, such as "T_MSG_PULL_CONF"
  std::string data;       // message body, by convention a JSON text ("{}" when empty)
  std::string traceId;    // chosen by the sender; empty for messages this process creates
  std::string objId;      // object identifier; empty unless sent with an object id
  int32_t priority = 0;   // send-list index 0..4, 0 served first
  bool keepFlag = false;  // carried along; no packing form reads it
  bool ipcOnly = false;   // selects the IPC-only envelope, or the "ipc_msg" header field
};

// Accumulates one JSON object or array as text, without white space: Key("a").Value(1) then
// Finish() gives {"a":1}. A text value that is itself a well-formed JSON object or array is
// embedded as it is; every other text is written as a JSON string, escaped, so no value can
// break the document or add members to it.
class JsonTextBuilder {
 public:
  enum Kind : int32_t { kObject = 0, kArray = 1 };

  // Reserves room for `capacity` bytes rounded up to the next multiple of 1000 (2000 for the
  // 1000 every caller passes); the text grows in further steps of 1000 bytes.
  JsonTextBuilder(int32_t capacity, int32_t kind);

  // Moving keeps the reservation with the text; a copy would not, so copying is off.
  JsonTextBuilder(JsonTextBuilder&&) = default;
  JsonTextBuilder& operator=(JsonTextBuilder&&) = default;
  JsonTextBuilder(const JsonTextBuilder&) = delete;
  JsonTextBuilder& operator=(const JsonTextBuilder&) = delete;

  // Appends one member name; a value must follow.
  JsonTextBuilder& Key(const std::string& name);
  // Appends one value and the comma that follows every value.
  JsonTextBuilder& Value(const std::string& text);
  JsonTextBuilder& Value(int32_t number);
  JsonTextBuilder& Value(const JsonTextBuilder& nested);

  // The finished document: the trailing comma becomes the closing bracket. The builder keeps
  // its own text, so Finish may be called again. A builder without members gives {} or [].
  std::string Finish() const;

 private:
  // Grows the reservation ahead of an append of `addedLength` bytes of name or value text.
  void ReserveFor(size_t addedLength);

  std::string text_;  // the document so far, opening bracket first, one comma after each value
  int32_t kind_;      // kObject or kArray
  int32_t reserved_;  // bytes reserved in text_ so far, a multiple of 1000
};

// True when `text` is exactly one JSON value (surrounding white space allowed) in valid UTF-8,
// with numbers in double range and arrays and objects nested at most `maxDepth` levels. Parses
// without recursion, so any input is safe.
bool IsWellFormedJson(const std::string& text, int maxDepth);

// True when `text` goes into a JSON text unchanged as a nested value: it begins with "{" or "["
// and is well-formed JSON within kMaxEmbeddedJsonDepth.
bool IsEmbeddableJson(const std::string& text);

// Appends `text` to `out` as a quoted JSON string. Quote and backslash are escaped, control
// bytes below 0x20 use \b \f \n \r \t or \u00XX; valid UTF-8 passes unchanged. Each byte that
// does not start a well-formed UTF-8 sequence (stray continuation, overlong form, surrogate,
// beyond U+10FFFF, cut short) is replaced by U+FFFD, so the result is always valid UTF-8.
void AppendJsonString(std::string& out, const std::string& text);

// Packs a record for protocol version 0: the IPC-only envelope when `ipcOnly` is set, the
// standard envelope otherwise. False, with nothing built, for an empty type or empty data.
bool PackMessage(std::string& out, const IpcMessage& message);

// The standard envelope {"traceId":..,"priority":..,"type":..,"data":{"data":..}} in UTF-8.
// False when the result is empty.
bool BuildEnvelope(std::string& out, const IpcMessage& message);

// The IPC-only envelope: JsonCpp's styled layout of "data", "priority", "traceId" and the type
// prefixed with "IPC_ONLY_". False when JsonCpp fails or the result is empty.
bool BuildIpcOnlyEnvelope(std::string& out, const IpcMessage& message);

// The header for protocol versions above 0: "type", "prio" (4 bytes, little-endian), "ipc_msg"
// (one byte 1) only for IPC-only records, "obj_id" only when `objId` is not empty.
std::string BuildSerializedHeader(const std::string& type, int32_t priority, bool ipcOnly,
                                  const std::string& objId);
