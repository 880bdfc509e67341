#pragma once

#include <windows.h>

namespace lab {

// The Windows release the lab's rasapi32 plays: the one the calling process
// is told it runs on, as its own version checks (VerifyVersionInfoW) see it.
// A program without a manifest that declares Windows 8.1 or 10 is told 6.2,
// by Windows and Wine alike. Releases before Windows 7 are played as 7.
enum class WindowsRelease { Windows7, Windows8, Windows81 };

WindowsRelease toldRelease();

}  // namespace lab
