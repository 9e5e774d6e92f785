// tbxUtil: a thread owned by an object. Subclasses override run(); the thread ends when run()
// returns.
#pragma once

#include <cstdint>
#include <string>

#include "Export.h"

namespace tbx {

class TBXUTIL_API CThreadUtil {
 public:
  CThreadUtil();
  // Joins a still-running thread: run() must return for the destructor to complete.
  virtual ~CThreadUtil();

  // Starts run() on a new thread; false when the thread cannot be created or already runs.
  bool startThread();
  bool IsThreadRunning() const;
  // Joins the thread; returns at once when it was never started or was already joined.
  void waitForThreadFinish();

  // Names the calling thread; the name is also what GetThreadName reports for it.
  static void SetThreadName(const std::string& name);
  // The name given to the thread with that id by SetThreadName, or "" for an unknown id.
  static std::string GetThreadName(int64_t threadId);
  // The calling thread's system-wide id.
  static uint64_t GetCurrentThreadId();
  // Multiplier for polling loops' sleeps (1 unless CSleepUtil changed it).
  static uint32_t GetSleepRatio();
  // Seeds the per-thread random generator.
  static void InitThreadRandom();

  virtual void run() = 0;

 private:
  CThreadUtil(const CThreadUtil&) = delete;
  CThreadUtil& operator=(const CThreadUtil&) = delete;

  struct State;
  State* state_;  // owned; the thread handle and its running flag
};

}  // namespace tbx
