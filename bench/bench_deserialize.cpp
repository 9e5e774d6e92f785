// Message deserialisation (bounded iterative parse, "type" and "data" extraction, compact
// re-serialisation of object data) beside RapidJSON's plain recursive parse of the same text.
#include <string>

#include <benchmark/benchmark.h>
#include <rapidjson/document.h>

#include "IpcClient/IpcProtocolHandlerThread.h"

namespace {

// About 300 bytes: a command of the usual shape with a trace id.
std::string TypicalMessage() {
  return "{\"type\":\"T_MSG_CHECK\",\"data\":{\"check\":\"unload\",\"cmd_idx\":\"1700000000123\","
         "\"view_type\":\"KorvexMonitor\",\"view_object\":\"module/echo\",\"view_param\":"
         "\"{\\\"reason\\\":\\\"policy update\\\",\\\"retry\\\":3}\",\"ts\":1700000000,"
         "\"tags\":[\"policy\",\"remote\"]},\"trace_id\":\"6f1c2a9e-4b7d-4e0a-9c3f-2d8e1b5a7c60\","
         "\"obj_id\":\"node-0042\",\"priority\":2}";
}

// Just under 64 KiB: object data holding an array of file records.
std::string LargeMessage() {
  std::string text = "{\"type\":\"T_MSG_FILE_GET\",\"data\":{\"files\":[";
  for (int i = 0; text.size() < 65536 - 100; ++i) {
    text += (i ? "," : "");
    text += "{\"path\":\"/opt/valko/data/file_" + std::to_string(i) +
            ".bin\",\"size\":" + std::to_string(4096 + i) + ",\"sha\":\"0123456789abcdef\"}";
  }
  text += "]}}";
  return text;
}

void Deserialize(benchmark::State& state, const std::string& text) {
  for (auto _ : state) {
    std::string type;
    std::string data;
    bool ok = CIpcProtocolHandlerThread::Deserialize(text, type, data);
    benchmark::DoNotOptimize(ok);
    benchmark::DoNotOptimize(data.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void PlainParse(benchmark::State& state, const std::string& text) {
  for (auto _ : state) {
    rapidjson::Document document;
    document.Parse(text.c_str(), text.size());
    benchmark::DoNotOptimize(document.HasParseError());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

BENCHMARK_CAPTURE(PlainParse, typical_300B, TypicalMessage());
BENCHMARK_CAPTURE(Deserialize, typical_300B, TypicalMessage());
BENCHMARK_CAPTURE(PlainParse, large_64KiB, LargeMessage());
BENCHMARK_CAPTURE(Deserialize, large_64KiB, LargeMessage());

}  // namespace

BENCHMARK_MAIN();
