#include "IpcClient/ReceivedJson.h"

#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include "IpcClient/DepthBoundedJsonHandler.h"

namespace {

// Runs the iterative reader over the text up to its first NUL byte; Populate moves the root into
// the document only when this reports success.
class TextGenerator {
 public:
  explicit TextGenerator(const std::string& text) : text_(text) {}

  bool operator()(rapidjson::Document& document) {
    rapidjson::MemoryStream stream(text_.data(), text_.size());
    DepthBoundedJsonHandler<rapidjson::Document> handler(document, kMaxReceivedJsonDepth);
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
