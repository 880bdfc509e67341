#include "IfTable.h"

#include "BuiltinIphlpapi.h"
#include "LabInspect.h"
#include "TextFile.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace lab {

namespace {

using GetIfTableFn = DWORD(WINAPI*)(MIB_IFTABLE*, ULONG*, BOOL);

constexpr DWORD kLabMtu = 1400;
constexpr int kAttempts = 5;

// bDescr holds bytes of the ANSI code page of the calling process, as in
// the rows of Windows and of Wine's own iphlpapi; characters the code page
// lacks come out as its default character.
std::string ansi(const std::wstring& text) {
  if (text.empty()) return {};
  int size = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(size, '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
  return out;
}

MIB_IFROW rowOf(const Adapter& adapter) {
  MIB_IFROW row{};
  std::wstring name = fromUtf8(adapter.description);
  std::string description = ansi(name);
  wcsncpy(row.wszName, name.c_str(), MAX_INTERFACE_NAME_LEN - 1);
  row.dwIndex = adapter.index;
  row.dwType = IF_TYPE_PPP;
  row.dwMtu = kLabMtu;
  row.dwAdminStatus = MIB_IF_ADMIN_STATUS_UP;
  row.dwOperStatus = MIB_IF_OPER_STATUS_OPERATIONAL;
  size_t length = std::min<size_t>(description.size(), MAXLEN_IFDESCR - 1);
  std::memcpy(row.bDescr, description.data(), length);
  row.dwDescrLen = static_cast<DWORD>(length);
  return row;
}

size_t sizeFor(size_t rows) { return offsetof(MIB_IFTABLE, table) + rows * sizeof(MIB_IFROW); }

}  // namespace

// The system table can change between the size query and the read; a few
// attempts cover that.
std::vector<MIB_IFROW> IfTable::systemRows() {
  auto real = reinterpret_cast<GetIfTableFn>(reinterpret_cast<void*>(BuiltinIphlpapi::find("GetIfTable")));
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    ULONG size = 0;
    DWORD result = real(nullptr, &size, FALSE);
    if (result == ERROR_NO_DATA || (result == ERROR_SUCCESS && size == 0)) return {};
    if (result != ERROR_INSUFFICIENT_BUFFER) return {};
    std::vector<BYTE> buffer(std::max<size_t>(size, sizeof(MIB_IFTABLE)));
    auto* table = reinterpret_cast<MIB_IFTABLE*>(buffer.data());
    result = real(table, &size, FALSE);
    if (result == ERROR_SUCCESS) return std::vector<MIB_IFROW>(table->table, table->table + table->dwNumEntries);
    if (result != ERROR_INSUFFICIENT_BUFFER) return {};
  }
  return {};
}

std::vector<MIB_IFROW> IfTable::labRows() {
  std::vector<MIB_IFROW> rows;
  for (const Adapter& adapter : snapshot().adapters) rows.push_back(rowOf(adapter));
  return rows;
}

DWORD IfTable::get(MIB_IFTABLE* table, ULONG* size, BOOL sorted) {
  if (size == nullptr) return ERROR_INVALID_PARAMETER;
  std::vector<MIB_IFROW> rows = systemRows();
  std::vector<MIB_IFROW> lab = labRows();
  rows.insert(rows.end(), lab.begin(), lab.end());
  ULONG needed = static_cast<ULONG>(sizeFor(rows.size()));
  if (table == nullptr || *size < needed) {
    *size = needed;
    return ERROR_INSUFFICIENT_BUFFER;
  }
  if (sorted)
    std::sort(rows.begin(), rows.end(), [](const MIB_IFROW& a, const MIB_IFROW& b) { return a.dwIndex < b.dwIndex; });
  table->dwNumEntries = static_cast<DWORD>(rows.size());
  std::copy(rows.begin(), rows.end(), table->table);
  return ERROR_SUCCESS;
}

}  // namespace lab
