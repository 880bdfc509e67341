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

#include <optional>
#include <string>
#include <vector>

namespace labtest {

// A name no other test process or case uses, earlier runs included.
std::wstring uniqueName(const std::wstring& stem);

// An IKEv2 entry that dials `server`, in the layout `size` names.
RasEntryW81 vpnEntry(const std::wstring& server, DWORD size);

// Writes an IKEv2 entry that dials `server`, in the layout the default
// entry's size query names (as a caller must); returns
// RasSetEntryPropertiesW's result.
DWORD putEntry(const std::wstring& name, const std::wstring& server);

// The dial structure a caller uses on the Windows version this process is
// told: the 8.1 one from 6.3 on, else Windows 7's.
DWORD dialParamsSize();

struct DialEvent {
  RASCONNSTATE state;
  DWORD error;
};

// Whether the notifier has said the last it will: connected, or an error.
inline bool endsDial(const DialEvent& event) { return event.state == RASCS_Connected || event.error != 0; }

// Collects what the type-0 notifier reports; one dial at a time.
class DialObserver {
 public:
  static void reset();
  static void WINAPI notify(UINT message, RASCONNSTATE state, DWORD error);
  // Waits up to `timeoutMs` for the event that ends the dial; returns every
  // event so far.
  static std::vector<DialEvent> waitFinal(DWORD timeoutMs);
};

// Dials through the type-0 notifier, with dialParamsSize() unless told.
DWORD dial(const std::wstring& entry, const std::wstring& user, const std::wstring& password,
           HRASCONN* handle, std::optional<DWORD> paramsSize = std::nullopt);

DWORD connectionStatus(HRASCONN handle, RasConnStatusW7& status);

// RasSetEntryPropertiesW's answer to an IKEv2 entry of that dwSize (in a
// buffer of the newest size), and RasDialW's to dial parameters of that
// dwSize; each cleans up after itself.
DWORD setEntryWithSize(DWORD size);
DWORD dialWithSize(DWORD size);

// Polls the status, as RasHangUp's documentation tells callers to, until it
// answers ERROR_INVALID_HANDLE; false if it still answered after `timeoutMs`.
bool waitClosed(HRASCONN handle, DWORD timeoutMs = 15000);

// Hangs up and waits until the connection has closed.
bool hangUpAndWait(HRASCONN handle);

// The hang-up delay of this process's own hang-ups (and of the programs it
// starts) while the object lives, through the lab's environment variable.
class ProcessHangUpDelay {
 public:
  explicit ProcessHangUpDelay(DWORD milliseconds);
  ~ProcessHangUpDelay();
  ProcessHangUpDelay(const ProcessHangUpDelay&) = delete;
  ProcessHangUpDelay& operator=(const ProcessHangUpDelay&) = delete;

 private:
  std::wstring previous_;
  bool hadPrevious_ = false;
};

// The live connections of the machine. Other processes may dial between the
// size query and the read, so it asks again while the buffer is too small.
std::vector<RasConnW7> liveConnections();

// The interface table, asked again when an adapter came between the size
// query and the read.
std::vector<MIB_IFROW> interfaceRows();

// Rows of the interface table whose description is the entry name in the
// ANSI code page.
std::vector<MIB_IFROW> adapterRowsFor(const std::wstring& entry);

// A file in the folder of the test program.
std::wstring besideTests(const std::wstring& file);

std::string utf8(const std::wstring& text);
std::string ansi(const std::wstring& text);

}  // namespace labtest
