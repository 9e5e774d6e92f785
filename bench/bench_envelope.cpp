// The standard envelope built by our text builder (which validates embedded JSON and escapes
// quoted text) beside JsonCpp building the same envelope: for JSON data JsonCpp has to parse
// the data into a value first, for plain text it only escapes it.
#include <memory>
#include <string>

#include <benchmark/benchmark.h>
#include <json/json.h>

#include "IpcClient/IpcMessage.h"

namespace {

// A JSON object of `size` bytes shaped like the agent's event data.
std::string JsonData(size_t size) {
  std::string text = "{\"event\":\"proc_start\",\"pid\":4242,\"ppid\":1,\"items\":[";
  for (int i = 0; text.size() + 60 < size; ++i) {
    text += (i != 0 ? "," : "");
    text += "{\"path\":\"/opt/valko/bin/f" + std::to_string(i) + "\",\"ok\":true}";
  }
  text += "],\"note\":\"";
  text.append(size > text.size() + 3 ? size - text.size() - 3 : 0, 'n');
  return text + "\"}";
}

// Plain text of `size` bytes with a quote now and then.
std::string TextData(size_t size) {
  std::string text;
  while (text.size() < size) {
    text += "user said \"stop\" at line 12; ";
  }
  text.resize(size);
  return text;
}

IpcMessage MessageWith(const std::string& data) {
  IpcMessage message;
  message.type = "T_MSG_OS_ABNORMAL";
  message.data = data;
  message.priority = 2;
  return message;
}

void OurBuilder(benchmark::State& state, const std::string& data) {
  const IpcMessage message = MessageWith(data);
  for (auto _ : state) {
    std::string out;
    benchmark::DoNotOptimize(BuildEnvelope(out, message));
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}

// The same members with JsonCpp, written without indentation.
void JsonCppBuilder(benchmark::State& state, const std::string& data) {
  const IpcMessage message = MessageWith(data);
  Json::StreamWriterBuilder writerBuilder;
  writerBuilder["indentation"] = "";
  Json::CharReaderBuilder readerBuilder;
  std::unique_ptr<Json::CharReader> reader(readerBuilder.newCharReader());
  const bool embed = data[0] == '{';
  for (auto _ : state) {
    Json::Value inner(Json::objectValue);
    if (embed) {
      Json::Value parsed;
      std::string errors;
      reader->parse(message.data.data(), message.data.data() + message.data.size(), &parsed,
                    &errors);
      inner["data"] = std::move(parsed);
    } else {
      inner["data"] = message.data;
    }
    Json::Value root(Json::objectValue);
    root["traceId"] = message.traceId;
    root["priority"] = message.priority;
    root["type"] = message.type;
    root["data"] = std::move(inner);
    std::string out = Json::writeString(writerBuilder, root);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}

const std::string kJson200 = JsonData(200);
const std::string kJson4K = JsonData(4096);
const std::string kText200 = TextData(200);
const std::string kText4K = TextData(4096);

BENCHMARK_CAPTURE(OurBuilder, json_200B, kJson200);
BENCHMARK_CAPTURE(JsonCppBuilder, json_200B, kJson200);
BENCHMARK_CAPTURE(OurBuilder, json_4KiB, kJson4K);
BENCHMARK_CAPTURE(JsonCppBuilder, json_4KiB, kJson4K);
BENCHMARK_CAPTURE(OurBuilder, text_200B, kText200);
BENCHMARK_CAPTURE(JsonCppBuilder, text_200B, kText200);
BENCHMARK_CAPTURE(OurBuilder, text_4KiB, kText4K);
BENCHMARK_CAPTURE(JsonCppBuilder, text_4KiB, kText4K);

}  // namespace

BENCHMARK_MAIN();
