#pragma once

#include <windows.h>
#include <iphlpapi.h>

#include <vector>

namespace lab {

// The interface table: the system's interfaces followed by one row for each
// connected lab dial.
class IfTable {
 public:
  static DWORD get(MIB_IFTABLE* table, ULONG* size, BOOL sorted);

 private:
  static std::vector<MIB_IFROW> systemRows();
  static std::vector<MIB_IFROW> labRows();
};

}  // namespace lab
