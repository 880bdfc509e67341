#include "ProcessIdentity.h"

#include "UniqueHandle.h"

namespace lab {

namespace {

ULONGLONG startTimeOf(HANDLE process) {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  return (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

}  // namespace

ProcessIdentity ProcessIdentity::current() {
  return ProcessIdentity(GetCurrentProcessId(), startTimeOf(GetCurrentProcess()));
}

bool ProcessIdentity::alive() const {
  UniqueHandle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid_));
  if (!process.valid()) return GetLastError() == ERROR_ACCESS_DENIED;
  if (WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) return false;
  return startTimeOf(process.get()) == startTime_;
}

}  // namespace lab
