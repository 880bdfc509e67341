#pragma once

#include <windows.h>

namespace lab {

// RasGetErrorString for the codes the lab answers with.
class RasErrorText {
 public:
  static const wchar_t* find(UINT code);
};

}  // namespace lab
