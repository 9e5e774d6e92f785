// Korvex.exe: the simulated main agent (see --help).
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "KorvexAgent.h"
#include "KorvexOptions.h"
#include "KorvexSystem.h"
#include "KorvexTranscript.h"

namespace {

// Lines for the main thread, which alone drives the agent. Shared with detached threads that
// may outlive main's locals.
struct Inbox {
  enum class Kind { kLine, kEndOfInput, kSignal };
  struct Item {
    Kind kind;
    std::string line;
  };

  void Post(Kind kind, std::string line = std::string()) {
    std::lock_guard<std::mutex> lock(mutex);
    items.push_back(Item{kind, std::move(line)});
    ready.notify_one();
  }

  Item Take() {
    std::unique_lock<std::mutex> lock(mutex);
    ready.wait(lock, [this] { return !items.empty(); });
    Item item = std::move(items.front());
    items.pop_front();
    return item;
  }

  std::mutex mutex;
  std::condition_variable ready;
  std::deque<Item> items;
};

}  // namespace

int main(int argc, char** argv) {
  KorvexOptions options;
  std::string error;
  if (!CKorvexOptions::Parse(argc, argv, &options, &error)) {
    std::fprintf(stderr, "Korvex.exe: %s\n\n%s", error.c_str(), CKorvexOptions::Usage());
    return 2;
  }
  if (options.help) {
    std::fputs(CKorvexOptions::Usage(), stdout);
    return 0;
  }

  // Before the agent's threads start, so they inherit what it arranges.
  korvex::sys::PrepareProcess();

  CKorvexTranscript transcript;
  if (!options.transcript.empty() && !transcript.OpenFile(options.transcript)) {
    std::fprintf(stderr, "Korvex.exe: cannot open the transcript %s\n", options.transcript.c_str());
    return 2;
  }
  CKorvexAgent agent(&transcript);
  const std::string name =
      options.altName ? CKorvexAgent::kAltServerName : CKorvexAgent::kServerName;
  const int32_t state = agent.Start(name, options.ipcDir, options.initInfo);
  if (state != 0) {
    std::fprintf(stderr, "Korvex.exe: cannot listen under %s (state %d)\n", name.c_str(),
                 static_cast<int>(state));
    return 1;
  }

  auto inbox = std::make_shared<Inbox>();
  korvex::sys::WatchStopRequests([inbox] { inbox->Post(Inbox::Kind::kSignal); });
  if (options.readStdin) {
    std::thread([inbox] {
      std::string line;
      while (std::getline(std::cin, line)) {
        inbox->Post(Inbox::Kind::kLine, line);
      }
      inbox->Post(Inbox::Kind::kEndOfInput);
    }).detach();
  }

  for (;;) {
    const Inbox::Item item = inbox->Take();
    if (item.kind == Inbox::Kind::kSignal) {
      break;
    }
    if (item.kind == Inbox::Kind::kEndOfInput) {
      if (options.exitOnEof) {
        break;
      }
      continue;
    }
    if (!agent.Execute(item.line)) {
      break;
    }
  }
  agent.Stop();
  return 0;
}
