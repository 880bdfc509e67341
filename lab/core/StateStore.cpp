#include "StateStore.h"

#include "LabPaths.h"
#include "ProcessIdentity.h"
#include "StateLock.h"
#include "UniqueHandle.h"

#include <stdexcept>

namespace lab {

namespace {

std::vector<BYTE> readFile(const std::wstring& path) {
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return {};
  LARGE_INTEGER size{};
  GetFileSizeEx(file.get(), &size);
  std::vector<BYTE> bytes(static_cast<size_t>(size.QuadPart));
  DWORD read = 0;
  if (!bytes.empty() && !ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr))
    throw std::runtime_error("lab: cannot read the state");
  bytes.resize(read);
  return bytes;
}

// Written beside the state and renamed over it, so a process killed while
// writing leaves the previous state intact.
void writeFile(const std::wstring& path, const std::vector<BYTE>& bytes) {
  std::wstring temporary = path + L".new";
  {
    UniqueHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file.valid() ||
        !WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size())
      throw std::runtime_error("lab: cannot write the state");
  }
  if (!MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING))
    throw std::runtime_error("lab: cannot replace the state");
}

LabState decodeOrStartOver(const std::vector<BYTE>& bytes) {
  try {
    return decodeState(bytes);
  } catch (const std::runtime_error&) {
    return LabState{};
  }
}

}  // namespace

ULONGLONG StateStore::nowMs() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return ((static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime) / 10000;
}

void StateStore::modify(const std::function<void(LabState&)>& change) {
  StateLock lock;
  std::wstring path = LabPaths::stateFile();
  std::vector<BYTE> before = readFile(path);
  LabState state = decodeOrStartOver(before);
  state.settle(nowMs(), [](const ProcessIdentity& process) { return process.alive(); });
  change(state);
  std::vector<BYTE> after = encodeState(state);
  if (after != before) writeFile(path, after);
}

}  // namespace lab
