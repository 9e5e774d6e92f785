// Korvex.exe: one JSON object written on a single line, members in the order they are added.
#pragma once

#include <cstdint>
#include <string>

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

class CJsonLine {
 public:
  CJsonLine();  // opens the object

  CJsonLine(const CJsonLine&) = delete;
  CJsonLine& operator=(const CJsonLine&) = delete;

  // A text member; bytes that are not valid UTF-8 become U+FFFD, so the line stays JSON.
  CJsonLine& Add(const char* key, const std::string& text);
  CJsonLine& Add(const char* key, int64_t number);
  // A member whose value is `json`, which the caller has checked is one well-formed value.
  CJsonLine& AddRaw(const char* key, const std::string& json);
  // Opens a nested object under `key`; members added next go into it until EndObject().
  CJsonLine& BeginObject(const char* key);
  CJsonLine& EndObject();

  // Closes the object and returns the line, without a line break. Call once.
  std::string Finish();

  // `text` with every invalid UTF-8 sequence replaced by U+FFFD.
  static std::string ValidUtf8(const std::string& text);

 private:
  rapidjson::StringBuffer buffer_;                     // the text so far
  rapidjson::Writer<rapidjson::StringBuffer> writer_;  // writes into buffer_
};
