#include "StateLock.h"

#include "LabPaths.h"

#include <chrono>
#include <stdexcept>

namespace lab {

namespace {

constexpr DWORD kPatienceMs = 10000;
constexpr DWORD kRetryMs = 2;

std::timed_mutex& processMutex() {
  static std::timed_mutex mutex;
  return mutex;
}

std::unique_lock<std::timed_mutex> lockProcess() {
  std::unique_lock<std::timed_mutex> lock(processMutex(), std::chrono::milliseconds(kPatienceMs));
  if (!lock.owns_lock()) throw std::runtime_error("lab: another thread holds the state too long");
  return lock;
}

HANDLE openLockFile() {
  std::wstring path = LabPaths::lockFile();
  for (int attempt = 0; attempt < 100; ++attempt) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) return file;
    Sleep(10);
  }
  throw std::runtime_error("lab: cannot open the state lock file");
}

// LockFileEx has no time-out of its own; asking without waiting, in short
// steps, bounds the wait.
void lockFile(HANDLE file) {
  DWORD started = GetTickCount();
  for (;;) {
    OVERLAPPED whole{};
    if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole)) return;
    if (GetLastError() != ERROR_LOCK_VIOLATION && GetLastError() != ERROR_IO_PENDING)
      throw std::runtime_error("lab: cannot lock the state");
    if (GetTickCount() - started >= kPatienceMs)
      throw std::runtime_error("lab: another process holds the state too long");
    Sleep(kRetryMs);
  }
}

}  // namespace

StateLock::StateLock() : local_(lockProcess()), file_(openLockFile()) { lockFile(file_.get()); }

StateLock::~StateLock() {
  OVERLAPPED whole{};
  UnlockFileEx(file_.get(), 0, 1, 0, &whole);
}

}  // namespace lab
