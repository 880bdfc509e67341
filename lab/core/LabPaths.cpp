#include "LabPaths.h"

#include <windows.h>

namespace lab {

namespace {

// Built from the system drive, not from %ProgramData%: Wine gives services a
// different value of that variable than user processes, and both must meet
// in the same folder.
std::wstring programData() {
  wchar_t windows[MAX_PATH];
  UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
  std::wstring drive = length >= 2 && windows[1] == L':' ? std::wstring(windows, 2) : L"C:";
  return drive + L"\\ProgramData";
}

}  // namespace

std::wstring LabPaths::directory() {
  CreateDirectoryW(programData().c_str(), nullptr);
  std::wstring dir = programData() + L"\\VpnLab";
  CreateDirectoryW(dir.c_str(), nullptr);
  return dir;
}

std::wstring LabPaths::stateFile() { return directory() + L"\\state.bin"; }

std::wstring LabPaths::lockFile() { return directory() + L"\\state.lock"; }

std::wstring LabPaths::serverDirectoryFile() { return directory() + L"\\servers.txt"; }

}  // namespace lab
