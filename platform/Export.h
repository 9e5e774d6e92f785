// Symbol visibility for the agent libraries and the executable's exports.
#pragma once

#if defined(_WIN32)
#define KORVEX_EXPORT __declspec(dllexport)
#define KORVEX_IMPORT __declspec(dllimport)
#else
#define KORVEX_EXPORT __attribute__((visibility("default")))
#define KORVEX_IMPORT __attribute__((visibility("default")))
#endif
