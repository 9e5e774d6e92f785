#include "IpcClient/ReceivedJson.h"

#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

namespace {

// Forwards the reader's events to the document and refuses the container that would pass the
// depth bound; the reader then stops with a termination error.
class DepthBoundedHandler {
 public:
  explicit DepthBoundedHandler(rapidjson::Document* document) : document_(document) {}

  bool Null() { return document_->Null(); }
  bool Bool(bool b) { return document_->Bool(b); }
  bool Int(int i) { return document_->Int(i); }
  bool Uint(unsigned u) { return document_->Uint(u); }
  bool Int64(int64_t i) { return document_->Int64(i); }
  bool Uint64(uint64_t u) { return document_->Uint64(u); }
  bool Double(double d) { return document_->Double(d); }
  bool RawNumber(const char* str, rapidjson::SizeType length, bool copy) {
    return document_->RawNumber(str, length, copy);
  }
  bool String(const char* str, rapidjson::SizeType length, bool copy) {
    return document_->String(str, length, copy);
  }
  bool Key(const char* str, rapidjson::SizeType length, bool copy) {
    return document_->Key(str, length, copy);
  }
  bool StartObject() { return Enter() && document_->StartObject(); }
  bool EndObject(rapidjson::SizeType memberCount) {
    --depth_;
    return document_->EndObject(memberCount);
  }
  bool StartArray() { return Enter() && document_->StartArray(); }
  bool EndArray(rapidjson::SizeType elementCount) {
    --depth_;
    return document_->EndArray(elementCount);
  }

 private:
  bool Enter() { return ++depth_ <= kMaxReceivedJsonDepth; }

  rapidjson::Document* document_;  // receives the events; not owned
  size_t depth_ = 0;               // containers open at the current position
};

// Runs the iterative reader over the text up to its first NUL byte; Populate moves the root into
// the document only when this reports success.
class TextGenerator {
 public:
  explicit TextGenerator(const std::string& text) : text_(text) {}

  bool operator()(rapidjson::Document& document) {
    rapidjson::MemoryStream stream(text_.data(), text_.size());
    DepthBoundedHandler handler(&document);
    rapidjson::Reader reader;
    const rapidjson::ParseResult result =
        reader.Parse<rapidjson::kParseIterativeFlag>(stream, handler);
    // The stream reads a NUL byte as the end of input, as a C string ends there: a sender that
    // counts its text's terminator still arrives whole, what follows a NUL is never read, and
    // a NUL inside a string value leaves that string unterminated.
    ok_ = !result.IsError();
    return ok_;
  }

  bool ok() const { return ok_; }

 private:
  const std::string& text_;  // the text being parsed; outlives the generator
  bool ok_ = false;          // the last run parsed the text as one value
};

}  // namespace

bool ParseReceivedJson(const std::string& text, rapidjson::Document* document) {
  TextGenerator generator(text);
  document->Populate(generator);
  return generator.ok();
}
