#pragma once
// The lab's machine-wide state as tests and labctl see it, and the few
// operations they may perform on it. Every process of the lab prefix (host,
// service, labctl, test programs) sees the same state.

#include <windows.h>

#include <ras.h>

#include "common/RasLayouts.h"

#include <optional>
#include <string>
#include <vector>

namespace lab {

// A phone-book entry as the caller stored it; `entry` holds the stored bytes
// zero-extended to the newest layout, `size` the dwSize the caller passed.
struct PhonebookEntry {
  std::wstring name;
  DWORD size = 0;
  RasEntryW81 entry{};
};

// What one RasDialW call was given. The password itself is not kept; its
// length and passwordDigest() of it are.
struct DialRecord {
  std::wstring entryName;
  std::wstring userName;
  std::wstring serverAddress;
  DWORD paramsSize = 0;
  DWORD passwordLength = 0;
  std::string passwordDigest;
  DWORD dialerPid = 0;
  ULONGLONG connection = 0;  // the connection the dial opened, 0 if none
  DWORD result = 0;
  std::string behaviour;
};

// `id` numbers the connection machine-wide; rasHandle() gives the HRASCONN
// that callers of rasapi32 hold for it. A connection exists from the dial
// that handed out its handle until its hang-up has completed, whatever its
// state: dialing, connected, or failed (a non-zero `error`, with `state`
// where the dial failed).
struct Connection {
  ULONGLONG id = 0;
  std::wstring entryName;
  std::wstring serverAddress;
  std::wstring userName;
  std::string behaviour;
  DWORD state = 0;
  DWORD error = 0;
  DWORD finalState = 0;     // where the dial ends: RASCS_Connected, or the state it fails in
  DWORD finalError = 0;     // non-zero when the dial fails
  ULONGLONG finalAtMs = 0;  // 0: never reaches its final state
  DWORD adapterIndex = 0;   // non-zero once connected
  DWORD dialerPid = 0;
  // Set by RasHangUpW: the connection closes at closeAtMs if the process
  // that hung it up is still running then.
  ULONGLONG closeAtMs = 0;
  DWORD closerPid = 0;
  ULONGLONG closerStartTime = 0;

  bool closing() const { return closeAtMs != 0; }
  bool dialing() const { return !closing() && error == 0 && state < RASCS_Connected; }
};

// The interface a connected dial adds to the interface table. The
// description is the entry name in UTF-8 here; GetIfTable gives it in the
// caller's ANSI code page.
struct Adapter {
  DWORD index = 0;
  std::string description;
  ULONGLONG connection = 0;
};

struct Session {
  ULONGLONG id = 0;
  DWORD ownerPid = 0;
  ULONGLONG ownerStartTime = 0;
  UINT32 flags = 0;
  std::wstring name;
};

struct Sublayer {
  GUID key{};
  std::wstring name;
  std::wstring description;
  UINT32 flags = 0;
  UINT16 weight = 0;
  ULONGLONG sessionId = 0;
  bool dynamic = false;
};

struct Condition {
  GUID fieldKey{};
  UINT32 matchType = 0;
  UINT32 valueType = 0;
  UINT64 value = 0;      // the value, or the low end of a range
  UINT64 rangeHigh = 0;  // the high end when valueType is FWP_RANGE_TYPE
};

struct Filter {
  UINT64 id = 0;
  GUID key{};
  std::wstring name;
  std::wstring description;
  bool hasDescription = false;
  UINT32 flags = 0;
  GUID layerKey{};
  GUID subLayerKey{};
  UINT32 weightType = 0;
  UINT64 weightValue = 0;
  UINT64 effectiveWeight = 0;
  std::vector<Condition> conditions;
  UINT32 actionType = 0;
  ULONGLONG sessionId = 0;
  bool dynamic = false;
};

struct RootCertificate {
  std::wstring name;
  std::wstring sourceFile;
  std::string sha1;
};

struct CertutilRun {
  std::wstring commandLine;
  DWORD exitCode = 0;
};

struct Snapshot {
  ULONGLONG takenAtMs = 0;  // milliseconds since 1601, the lab's clock
  DWORD hangUpDelayMs = 0;
  std::vector<PhonebookEntry> entries;
  std::vector<DialRecord> dials;
  std::vector<Connection> connections;
  std::vector<Adapter> adapters;
  std::vector<Session> sessions;
  std::vector<Sublayer> sublayers;
  std::vector<Filter> filters;
  std::vector<RootCertificate> rootStore;
  std::vector<CertutilRun> certutilRuns;
};

enum class IpVersion { V4, V6 };

struct Probe {
  UINT16 remotePort = 0;
  UINT32 interfaceIndex = 0;
  IpVersion version = IpVersion::V4;
};

struct Verdict {
  bool permitted = true;
  std::optional<UINT64> decidingFilter;  // none: no filter matched
};

// The state after dead sessions and due dial outcomes have been settled.
Snapshot snapshot();

// Whether an outgoing connection described by the probe passes the filters
// of every live session, by WFP arbitration.
Verdict probe(const Probe& probe);

// Removes every entry, connection, session, filter, root certificate and
// record. The server directory is kept.
void reset();

// Ends a connection as a server would: it vanishes with its adapter, and
// its handle is no longer valid.
bool dropConnection(ULONGLONG id);

// How long a hung-up connection takes to close. The machine-wide value is
// kept with the lab state (and survives reset()); a process whose
// environment has kHangUpDelayVariable uses that for its own hang-ups.
constexpr DWORD kDefaultHangUpDelayMs = 300;
constexpr DWORD kMaxHangUpDelayMs = 60000;
constexpr wchar_t kHangUpDelayVariable[] = L"VPNLAB_HANGUP_DELAY_MS";

DWORD hangUpDelay();
// Throws std::invalid_argument above kMaxHangUpDelayMs.
void setHangUpDelay(DWORD milliseconds);

HRASCONN rasHandle(ULONGLONG connectionId);

std::string serverDirectory();
void setServerDirectory(const std::string& text);
std::string defaultServerDirectory();

// Hex digest under which a dial record keeps the password it was given.
std::string passwordDigest(const std::wstring& password);

// Human-readable report of a snapshot, one section per kind of object.
std::string describe(const Snapshot& state);
std::string describe(const Probe& probe, const Verdict& verdict);

std::string formatGuid(const GUID& guid);

}  // namespace lab
