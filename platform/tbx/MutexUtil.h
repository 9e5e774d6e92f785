// tbxUtil: a mutex and its scoped holder.
#pragma once

#include <mutex>

namespace tbx {

class CMutexUtil {
 public:
  CMutexUtil() = default;
  void lock() { mutex_.lock(); }
  void unlock() { mutex_.unlock(); }

 private:
  CMutexUtil(const CMutexUtil&) = delete;
  CMutexUtil& operator=(const CMutexUtil&) = delete;
  std::mutex mutex_;
};

// Holds the mutex for its own lifetime; the mutex must outlive it.
class CMutexLockUtil {
 public:
  explicit CMutexLockUtil(CMutexUtil& mutex) : mutex_(mutex) { mutex_.lock(); }
  ~CMutexLockUtil() { mutex_.unlock(); }

 private:
  CMutexLockUtil(const CMutexLockUtil&) = delete;
  CMutexLockUtil& operator=(const CMutexLockUtil&) = delete;
  CMutexUtil& mutex_;
};

}  // namespace tbx
