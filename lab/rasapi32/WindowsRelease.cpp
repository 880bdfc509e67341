#include "WindowsRelease.h"

namespace lab {

namespace {

bool toldAtLeast(BYTE major, BYTE minor) {
  OSVERSIONINFOEXW version{};
  version.dwOSVersionInfoSize = sizeof version;
  version.dwMajorVersion = major;
  version.dwMinorVersion = minor;
  DWORDLONG mask = VerSetConditionMask(0, VER_MAJORVERSION, VER_GREATER_EQUAL);
  mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
  return VerifyVersionInfoW(&version, VER_MAJORVERSION | VER_MINORVERSION, mask) != FALSE;
}

WindowsRelease ask() {
  if (toldAtLeast(6, 3)) return WindowsRelease::Windows81;
  if (toldAtLeast(6, 2)) return WindowsRelease::Windows8;
  return WindowsRelease::Windows7;
}

}  // namespace

// What a process is told does not change while it runs.
WindowsRelease toldRelease() {
  static const WindowsRelease release = ask();
  return release;
}

}  // namespace lab
