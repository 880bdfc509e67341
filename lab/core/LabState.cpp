#include "LabState.h"

#include "TextFile.h"

#include <algorithm>
#include <ras.h>

namespace lab {

namespace {

// Records of dials and certutil runs are history for inspection; the oldest
// go so that the state every call reads stays small in a long-lived prefix.
constexpr size_t kKeptRecords = 500;

template <class T>
void keepLatest(std::vector<T>& records) {
  if (records.size() > kKeptRecords) records.erase(records.begin(), records.end() - kKeptRecords);
}

template <class T, class Pred>
void eraseIf(std::vector<T>& items, Pred pred) {
  items.erase(std::remove_if(items.begin(), items.end(), pred), items.end());
}

}  // namespace

void LabState::completeDial(Connection& connection) {
  connection.state = connection.finalState;
  connection.error = connection.finalError;
  if (connection.finalState == RASCS_Connected && connection.finalError == 0)
    connection.adapterIndex = nextAdapterIndex++;
}

// A hang-up is played out by the process that asked for it, as the dialer's
// state machine runs in the caller on Windows: when that process has ended
// before the connection closed, the hang-up is abandoned and the connection
// stays open, in the state it had ("the connection may be left open"). Any
// process can hang it up again.
void LabState::settleConnections(ULONGLONG nowMs, const AliveCheck& alive) {
  std::vector<ULONGLONG> closed;
  for (Connection& c : data.connections) {
    if (c.closing()) {
      if (!alive(ProcessIdentity(c.closerPid, c.closerStartTime))) {
        c.closeAtMs = 0;
        c.closerPid = 0;
        c.closerStartTime = 0;
      } else if (nowMs >= c.closeAtMs) {
        closed.push_back(c.id);
      }
    }
    if (c.dialing() && c.finalAtMs != 0 && nowMs >= c.finalAtMs) completeDial(c);
  }
  for (ULONGLONG id : closed) removeConnection(id);
}

void LabState::settle(ULONGLONG nowMs, const AliveCheck& alive) {
  settleConnections(nowMs, alive);
  std::vector<ULONGLONG> orphaned;
  for (const Session& session : data.sessions)
    if (!alive(ProcessIdentity(session.ownerPid, session.ownerStartTime))) orphaned.push_back(session.id);
  for (ULONGLONG id : orphaned) closeSession(id);
  keepLatest(data.dials);
  keepLatest(data.certutilRuns);
}

Connection* LabState::findConnection(ULONGLONG id) {
  for (Connection& connection : data.connections)
    if (connection.id == id) return &connection;
  return nullptr;
}

Connection* LabState::findConnectionOfEntry(const std::wstring& entryName) {
  for (Connection& connection : data.connections)
    if (_wcsicmp(connection.entryName.c_str(), entryName.c_str()) == 0) return &connection;
  return nullptr;
}

PhonebookEntry* LabState::findEntry(const std::wstring& name) {
  for (PhonebookEntry& entry : data.entries)
    if (_wcsicmp(entry.name.c_str(), name.c_str()) == 0) return &entry;
  return nullptr;
}

Session* LabState::findSession(ULONGLONG id) {
  for (Session& session : data.sessions)
    if (session.id == id) return &session;
  return nullptr;
}

Sublayer* LabState::findSublayer(const GUID& key) {
  for (Sublayer& sublayer : data.sublayers)
    if (IsEqualGUID(sublayer.key, key)) return &sublayer;
  return nullptr;
}

bool LabState::removeConnection(ULONGLONG id) {
  size_t before = data.connections.size();
  eraseIf(data.connections, [&](const Connection& c) { return c.id == id; });
  return data.connections.size() != before;
}

// Objects added in a dynamic session go with it; a session without the
// dynamic flag leaves its objects in place, as WFP does.
void LabState::closeSession(ULONGLONG id) {
  eraseIf(data.filters, [&](const Filter& f) { return f.sessionId == id && f.dynamic; });
  eraseIf(data.sublayers, [&](const Sublayer& s) { return s.sessionId == id && s.dynamic; });
  eraseIf(data.sessions, [&](const Session& s) { return s.id == id; });
}

std::vector<Adapter> LabState::adapters() const {
  std::vector<Adapter> result;
  for (const Connection& connection : data.connections) {
    // A closing connection keeps its adapter until it has closed.
    if (connection.state != RASCS_Connected || connection.adapterIndex == 0) continue;
    result.push_back({connection.adapterIndex, toUtf8(connection.entryName), connection.id});
  }
  return result;
}

}  // namespace lab
