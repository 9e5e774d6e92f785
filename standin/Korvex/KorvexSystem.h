// Korvex.exe: what the simulated agent needs of the operating system, one implementation per
// system (posix/, windows/).
#pragma once

#include <cstdio>
#include <ctime>
#include <functional>
#include <string>

namespace korvex::sys {

// Called on the main thread before any other thread starts: from then on the system's stop
// requests (SIGINT, SIGTERM, SIGHUP; on Windows Ctrl+C, Ctrl+Break and the console closing)
// reach only the watcher, a peer or reader gone away does not end the process, and standard
// output ends its lines in "\n" alone on every system (readers split on it).
void PrepareProcess();

// Calls `onStop` once, from a thread of its own, when the first stop request arrives.
void WatchStopRequests(std::function<void()> onStop);

// Opens `path` for appending, not inherited by programs the agent starts; null on failure.
FILE* OpenForAppend(const std::string& path);

// `seconds` as UTC calendar time.
std::tm UtcTime(std::time_t seconds);

}  // namespace korvex::sys
