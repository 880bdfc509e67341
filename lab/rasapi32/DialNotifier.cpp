#include "DialNotifier.h"

namespace lab {

namespace {

constexpr DWORD kSubEntry = 1;

}  // namespace

bool DialNotifier::notify(RASCONNSTATE state, DWORD error) {
  if (!wanted_ || function_ == nullptr) return false;
  switch (type_) {
    case 0:
      reinterpret_cast<RASDIALFUNC>(function_)(WM_RASDIALEVENT, state, error);
      break;
    case 1:
      reinterpret_cast<RASDIALFUNC1>(function_)(handle_, WM_RASDIALEVENT, state, error, 0);
      break;
    default:
      wanted_ = reinterpret_cast<RASDIALFUNC2>(function_)(callbackId_, kSubEntry, handle_, WM_RASDIALEVENT,
                                                          state, error, 0) != 0;
      break;
  }
  return wanted_;
}

}  // namespace lab
