#pragma once

#include "WindowsRelease.h"

#include <windows.h>

namespace lab {

// Which versions (dwSize values) of the dial and entry structures a Windows
// release takes: its own and the older ones, never a newer one. The layouts
// are those of common/RasLayouts.h: RASDIALPARAMSW grows its last member in
// 8.1, RASENTRYW its IKEv2 identities in 8 and the fragmentation switch in
// 8.1.
class StructureVersions {
 public:
  static bool dialParams(WindowsRelease release, DWORD size);
  static bool entry(WindowsRelease release, DWORD size);
  // The size the default entry's size query answers: the release's own.
  static DWORD newestEntry(WindowsRelease release);
};

}  // namespace lab
