#include "FaultHandler.h"

#include <rapidjson/document.h>

#include <cstdlib>

namespace fault {
namespace {

// Every step goes through volatile objects, so the compiler can neither see the fault coming
// and replace it with a trap of another kind nor fold the recursion into a loop.
void WriteThroughNull() {
  volatile int* volatile target = nullptr;
  *target = 1;
}

void DivideByZero() {
  volatile int numerator = 1;
  volatile int denominator = 0;
  volatile int quotient = numerator / denominator;
  (void)quotient;
}

volatile bool g_deeper = true;  // never cleared: the recursion has no way out

int Recurse(int depth) {
  volatile char frame[1024];
  for (size_t i = 0; i < sizeof(frame); ++i) {
    frame[i] = static_cast<char>(depth & 0x7f);
  }
  return (g_deeper ? Recurse(depth + 1) : 0) + frame[depth % sizeof(frame)];
}

}  // namespace

void CFaultHandler::Handle(const std::string& data) {
  rapidjson::Document command;
  command.Parse(data.c_str(), data.size());
  if (command.HasParseError() || !command.IsObject()) {
    return;
  }
  auto member = command.FindMember("fault");
  if (member == command.MemberEnd() || !member->value.IsString()) {
    return;
  }
  const std::string kind = member->value.GetString();
  if (kind == "access_violation") {
    WriteThroughNull();
  } else if (kind == "divide_by_zero") {
    DivideByZero();
  } else if (kind == "abort") {
    std::abort();
  } else if (kind == "stack_overflow") {
    Recurse(0);
  }
}

}  // namespace fault
