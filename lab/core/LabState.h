#pragma once

#include "LabInspect.h"
#include "ProcessIdentity.h"

#include <functional>

namespace lab {

// The whole machine-wide state of the lab: what the snapshot shows plus the
// counters that keep handles, interface indexes and ids unique for the life
// of the prefix.
struct LabState {
  Snapshot data;
  ULONGLONG nextConnection = 1;
  DWORD nextAdapterIndex = 1000;
  ULONGLONG nextSession = 1;
  UINT64 nextFilterId = 65536;
  DWORD hangUpDelayMs = kDefaultHangUpDelayMs;

  using AliveCheck = std::function<bool(const ProcessIdentity&)>;

  // Brings the state up to `nowMs`: hang-ups that are due complete, those
  // whose process has gone are abandoned, dials whose outcome is due reach
  // their final state, sessions whose owner has gone are closed, and only
  // the latest records of dials and certutil runs are kept.
  void settle(ULONGLONG nowMs, const AliveCheck& alive);

  Connection* findConnection(ULONGLONG id);
  // The connection dialed from an entry, closing or not; an entry has one
  // at most.
  Connection* findConnectionOfEntry(const std::wstring& entryName);
  PhonebookEntry* findEntry(const std::wstring& name);
  Session* findSession(ULONGLONG id);
  Sublayer* findSublayer(const GUID& key);

  bool removeConnection(ULONGLONG id);
  void closeSession(ULONGLONG id);

  std::vector<Adapter> adapters() const;

 private:
  void completeDial(Connection& connection);
  void settleConnections(ULONGLONG nowMs, const AliveCheck& alive);
};

std::vector<BYTE> encodeState(const LabState& state);
LabState decodeState(const std::vector<BYTE>& bytes);

}  // namespace lab
