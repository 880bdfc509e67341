#include "StateLock.h"

#include "LabPaths.h"

#include <stdexcept>

namespace lab {

namespace {

std::mutex& processMutex() {
  static std::mutex mutex;
  return mutex;
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

}  // namespace

StateLock::StateLock() : local_(processMutex()), file_(openLockFile()) {
  OVERLAPPED whole{};
  if (!LockFileEx(file_.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &whole))
    throw std::runtime_error("lab: cannot lock the state");
}

StateLock::~StateLock() {
  OVERLAPPED whole{};
  UnlockFileEx(file_.get(), 0, 1, 0, &whole);
}

}  // namespace lab
