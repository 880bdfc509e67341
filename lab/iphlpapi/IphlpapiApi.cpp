// The one iphlpapi function the lab changes; every other export is handed
// on to the system (Forwarders.cpp).

#include "IfTable.h"

#include <exception>

extern "C" DWORD WINAPI GetIfTable(PMIB_IFTABLE table, PULONG size, BOOL sorted) {
  try {
    return lab::IfTable::get(table, size, sorted);
  } catch (const std::exception&) {
    return ERROR_INTERNAL_ERROR;
  }
}
