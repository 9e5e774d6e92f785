// PacingProbe.exe [COUNT]: how long the send thread's pacing pause really lasts. The send thread
// pauses 5 ms (CToolUtil::msleep) after every second message; a pause that lasts a whole timer
// tick instead (15.6 ms on a stock Windows) cuts the delivery ceiling from 400 to about 128
// messages per second. One line for bench-windows.sh, in microseconds, with the system's own
// Sleep(5) beside it for comparison:
//   msleep_mean_us=<> msleep_max_us=<> system_sleep_mean_us=<> system_sleep_max_us=<>
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "tbx/ToolUtil.h"

namespace {

struct Figures {
  double meanUs = 0;
  double maxUs = 0;
};

template <class Pause>
Figures Measure(int count, Pause pause) {
  LARGE_INTEGER frequency;
  ::QueryPerformanceFrequency(&frequency);
  Figures figures;
  for (int i = 0; i < count; ++i) {
    LARGE_INTEGER before;
    LARGE_INTEGER after;
    ::QueryPerformanceCounter(&before);
    pause();
    ::QueryPerformanceCounter(&after);
    const double us = (after.QuadPart - before.QuadPart) * 1e6 / frequency.QuadPart;
    figures.meanUs += us / count;
    figures.maxUs = us > figures.maxUs ? us : figures.maxUs;
  }
  return figures;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 200;
  if (count <= 0) {
    std::fprintf(stderr, "usage: PacingProbe.exe [COUNT]\n");
    return 2;
  }
  const Figures msleep = Measure(count, [] { tbx::CToolUtil::msleep(5); });
  const Figures sleep = Measure(count, [] { ::Sleep(5); });
  std::printf(
      "msleep_mean_us=%.0f msleep_max_us=%.0f system_sleep_mean_us=%.0f system_sleep_max_us=%.0f\n",
      msleep.meanUs, msleep.maxUs, sleep.meanUs, sleep.maxUs);
  return 0;
}
