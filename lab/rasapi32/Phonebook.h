#pragma once

#include <windows.h>

namespace lab {

// The default phone book of the machine, kept in the lab state. Other phone
// book files are not supported.
class Phonebook {
 public:
  static DWORD getProperties(LPCWSTR phonebook, LPCWSTR entryName, BYTE* entry, DWORD* entrySize,
                             DWORD* deviceInfoSize);
  static DWORD setProperties(LPCWSTR phonebook, LPCWSTR entryName, const BYTE* entry, DWORD entrySize);
  static DWORD deleteEntry(LPCWSTR phonebook, LPCWSTR entryName);
  static DWORD validateName(LPCWSTR phonebook, LPCWSTR entryName);
};

}  // namespace lab
