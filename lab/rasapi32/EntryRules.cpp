#include "EntryRules.h"

#include <ras.h>

#include <algorithm>
#include <cwchar>
#include <iterator>

namespace lab {

namespace {

constexpr DWORD kFirstEntryType = 1;  // RASET_Phone
constexpr DWORD kLastEntryType = 5;   // RASET_Broadband

constexpr DWORD kEncryptionTypes[] = {0, 1, 2, 3};  // ET_None, ET_Require, ET_RequireMax, ET_Optional

// VS_Default up to VS_GREOnly, then VS_PptpSstp, VS_L2tpSstp, VS_Ikev2Sstp
// and VS_ProtocolList; 10 and 11 are not defined.
constexpr DWORD kVpnStrategies[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 12, 13, 14, 15};

template <size_t N>
bool oneOf(const DWORD (&known)[N], DWORD value) {
  return std::find(std::begin(known), std::end(known), value) != std::end(known);
}

template <size_t N>
bool empty(const WCHAR (&text)[N]) {
  return text[0] == L'\0';
}

DWORD checkVpn(const RasEntryW7& entry) {
  if (_wcsnicmp(entry.szDeviceType, RASDT_Vpn, RAS_MaxDeviceType + 1) != 0) return ERROR_INVALID_PARAMETER;
  if (empty(entry.szLocalPhoneNumber)) return ERROR_INVALID_PARAMETER;
  if (!oneOf(kVpnStrategies, entry.dwVpnStrategy)) return ERROR_INVALID_PARAMETER;
  return ERROR_SUCCESS;
}

}  // namespace

DWORD EntryRules::check(const RasEntryW7& entry) {
  if (entry.dwType < kFirstEntryType || entry.dwType > kLastEntryType) return ERROR_INVALID_PARAMETER;
  if (!oneOf(kEncryptionTypes, entry.dwEncryptionType)) return ERROR_INVALID_PARAMETER;
  if (entry.dwType == RASET_Vpn) return checkVpn(entry);
  return ERROR_SUCCESS;
}

}  // namespace lab
