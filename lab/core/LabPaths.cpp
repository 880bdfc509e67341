#include "LabPaths.h"

#include <windows.h>

namespace lab {

namespace {

std::wstring programData() {
  wchar_t buffer[MAX_PATH];
  DWORD length = GetEnvironmentVariableW(L"ProgramData", buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return L"C:\\ProgramData";
  return std::wstring(buffer, length);
}

}  // namespace

std::wstring LabPaths::directory() {
  std::wstring dir = programData() + L"\\VpnLab";
  CreateDirectoryW(dir.c_str(), nullptr);
  return dir;
}

std::wstring LabPaths::stateFile() { return directory() + L"\\state.bin"; }

std::wstring LabPaths::lockFile() { return directory() + L"\\state.lock"; }

std::wstring LabPaths::serverDirectoryFile() { return directory() + L"\\servers.txt"; }

}  // namespace lab
