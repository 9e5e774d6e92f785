// A RapidJSON reader handler that bounds how deep a text nests. With the iterative reader the
// parse itself never recurses; the bound keeps a later recursive walk of what was built (such as
// re-serialising it) shallow too.
#pragma once

#include <cstdint>

#include <rapidjson/reader.h>

// Passes every event on to `Next` and refuses the array or object that would open more than
// `maxDepth` levels deep (the root counts as 1); the reader then stops with a termination error.
template <class Next>
class DepthBoundedJsonHandler {
 public:
  // `next` receives the events and must outlive this handler.
  DepthBoundedJsonHandler(Next& next, int maxDepth) : next_(next), maxDepth_(maxDepth) {}

  bool Null() { return next_.Null(); }
  bool Bool(bool b) { return next_.Bool(b); }
  bool Int(int i) { return next_.Int(i); }
  bool Uint(unsigned u) { return next_.Uint(u); }
  bool Int64(int64_t i) { return next_.Int64(i); }
  bool Uint64(uint64_t u) { return next_.Uint64(u); }
  bool Double(double d) { return next_.Double(d); }
  bool RawNumber(const char* str, rapidjson::SizeType length, bool copy) {
    return next_.RawNumber(str, length, copy);
  }
  bool String(const char* str, rapidjson::SizeType length, bool copy) {
    return next_.String(str, length, copy);
  }
  bool Key(const char* str, rapidjson::SizeType length, bool copy) {
    return next_.Key(str, length, copy);
  }
  bool StartObject() { return Enter() && next_.StartObject(); }
  bool EndObject(rapidjson::SizeType memberCount) {
    --depth_;
    return next_.EndObject(memberCount);
  }
  bool StartArray() { return Enter() && next_.StartArray(); }
  bool EndArray(rapidjson::SizeType elementCount) {
    --depth_;
    return next_.EndArray(elementCount);
  }

 private:
  bool Enter() { return ++depth_ <= maxDepth_; }

  Next& next_;     // receives the events; not owned
  int maxDepth_;   // deepest nesting allowed
  int depth_ = 0;  // arrays and objects open at the current position
};
