// The rasapi32 functions the lab implements. Each export turns a failure of
// the lab itself into ERROR_UNKNOWN instead of letting it reach the caller.

#include "Guarded.h"
#include "ConnectionTable.h"
#include "Dialer.h"
#include "Phonebook.h"
#include "RasErrorText.h"

#include <raserror.h>

#include <cwchar>

namespace {

template <class Fn>
DWORD guarded(Fn&& fn) {
  return lab::guarded<ERROR_UNKNOWN>(fn);
}

}  // namespace

extern "C" {

DWORD WINAPI RasGetEntryPropertiesW(LPCWSTR phonebook, LPCWSTR entry, LPRASENTRYW entryInfo,
                                    LPDWORD entryInfoSize, LPBYTE, LPDWORD deviceInfoSize) {
  return guarded([&] {
    return lab::Phonebook::getProperties(phonebook, entry, reinterpret_cast<BYTE*>(entryInfo), entryInfoSize,
                                         deviceInfoSize);
  });
}

DWORD WINAPI RasSetEntryPropertiesW(LPCWSTR phonebook, LPCWSTR entry, LPRASENTRYW entryInfo,
                                    DWORD entryInfoSize, LPBYTE, DWORD) {
  return guarded([&] {
    return lab::Phonebook::setProperties(phonebook, entry, reinterpret_cast<const BYTE*>(entryInfo),
                                         entryInfoSize);
  });
}

DWORD WINAPI RasDeleteEntryW(LPCWSTR phonebook, LPCWSTR entry) {
  return guarded([&] { return lab::Phonebook::deleteEntry(phonebook, entry); });
}

DWORD WINAPI RasValidateEntryNameW(LPCWSTR phonebook, LPCWSTR entry) {
  return guarded([&] { return lab::Phonebook::validateName(phonebook, entry); });
}

DWORD WINAPI RasDialW(LPRASDIALEXTENSIONS, LPCWSTR phonebook, LPRASDIALPARAMSW params, DWORD notifierType,
                      LPVOID notifier, LPHRASCONN handle) {
  return guarded([&] {
    return lab::Dialer::dial(phonebook, reinterpret_cast<const BYTE*>(params), notifierType, notifier, handle);
  });
}

DWORD WINAPI RasHangUpW(HRASCONN handle) {
  return guarded([&] { return lab::ConnectionTable::hangUp(handle); });
}

DWORD WINAPI RasHangUpA(HRASCONN handle) { return RasHangUpW(handle); }

DWORD WINAPI RasGetConnectStatusW(HRASCONN handle, LPRASCONNSTATUSW status) {
  return guarded([&] { return lab::ConnectionTable::status(handle, reinterpret_cast<BYTE*>(status)); });
}

DWORD WINAPI RasEnumConnectionsW(LPRASCONNW connections, LPDWORD bufferSize, LPDWORD count) {
  return guarded([&] {
    return lab::ConnectionTable::enumerate(reinterpret_cast<BYTE*>(connections), bufferSize, count);
  });
}

DWORD WINAPI RasGetErrorStringW(UINT code, LPWSTR buffer, DWORD size) {
  const wchar_t* text = lab::RasErrorText::find(code);
  if (text == nullptr || buffer == nullptr) return ERROR_INVALID_PARAMETER;
  if (wcslen(text) >= size) return ERROR_INSUFFICIENT_BUFFER;
  wcscpy(buffer, text);
  return ERROR_SUCCESS;
}

DWORD WINAPI RasGetErrorStringA(UINT code, LPSTR buffer, DWORD size) {
  const wchar_t* text = lab::RasErrorText::find(code);
  if (text == nullptr || buffer == nullptr) return ERROR_INVALID_PARAMETER;
  int needed = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (static_cast<DWORD>(needed) > size) return ERROR_INSUFFICIENT_BUFFER;
  WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, needed, nullptr, nullptr);
  return ERROR_SUCCESS;
}

}  // extern "C"
