#pragma once
// Helpers shared by the lab's own tests. The tests reach the lab through the
// platform functions, as the product does, and share the machine-wide state
// with other tests of the prefix: every name, key and port they use is their
// own, and they never reset the lab.

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <ras.h>

#include "common/RasLayouts.h"

#include <string>
#include <vector>

namespace labtest {

// A name no other test process or case uses, earlier runs included.
std::wstring uniqueName(const std::wstring& stem);

// Writes an IKEv2 entry that dials `server`; returns RasSetEntryPropertiesW's result.
DWORD putEntry(const std::wstring& name, const std::wstring& server);

struct DialEvent {
  RASCONNSTATE state;
  DWORD error;
};

// Collects what the type-0 notifier reports; one dial at a time.
class DialObserver {
 public:
  static void reset();
  static void WINAPI notify(UINT message, RASCONNSTATE state, DWORD error);
  // Waits up to `timeoutMs` for a final state; returns every event so far.
  static std::vector<DialEvent> waitFinal(DWORD timeoutMs);
};

DWORD dial(const std::wstring& entry, const std::wstring& user, const std::wstring& password,
           HRASCONN* handle, DWORD paramsSize = ras_layout::kRasDialParamsSizeW81);

DWORD connectionStatus(HRASCONN handle, RasConnStatusW7& status);

// The live connections of the machine. Other processes may dial between the
// size query and the read, so it asks again while the buffer is too small.
std::vector<RasConnW7> liveConnections();

// The interface table, asked again when an adapter came between the size
// query and the read.
std::vector<MIB_IFROW> interfaceRows();

// Rows of the interface table whose description is the entry name's bytes.
std::vector<MIB_IFROW> adapterRowsFor(const std::wstring& entry);

// A file in the folder of the test program.
std::wstring besideTests(const std::wstring& file);

std::string utf8(const std::wstring& text);

}  // namespace labtest
