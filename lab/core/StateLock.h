#pragma once

#include "UniqueHandle.h"

#include <mutex>

namespace lab {

// Exclusive hold of the lab state across every process of the prefix: a
// byte-range lock on the lock file, plus a process-local mutex because
// threads of one process must not rely on the file lock to exclude each
// other. Taking it waits a few seconds at most: a process that holds the
// state that long is stuck, and the caller gets an error instead of
// joining it.
class StateLock {
 public:
  StateLock();
  ~StateLock();
  StateLock(const StateLock&) = delete;
  StateLock& operator=(const StateLock&) = delete;

 private:
  std::unique_lock<std::timed_mutex> local_;
  UniqueHandle file_;
};

}  // namespace lab
