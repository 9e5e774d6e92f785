// Sleeps for the seconds its first argument gives (60 without one), then exits with status 0.
// Tests copy it under the names a process needs to have (Korvex.exe, KorvexMonitor.exe, ...).
#include <chrono>
#include <cstdlib>
#include <thread>

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  return 0;
}
