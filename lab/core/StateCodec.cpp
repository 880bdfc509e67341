#include "Archive.h"
#include "LabState.h"

#include <algorithm>
#include <stdexcept>

namespace lab {

namespace {

constexpr UINT32 kMagic = 0x4C4E5056;  // "VPNL"
constexpr UINT32 kVersion = 2;

void writeEntry(ArchiveWriter& out, const PhonebookEntry& e) {
  out.wide(e.name);
  out.u32(e.size);
  out.bytes(&e.entry, sizeof e.entry);
}

PhonebookEntry readEntry(ArchiveReader& in) {
  PhonebookEntry e;
  e.name = in.wide();
  e.size = in.u32();
  in.bytes(&e.entry, sizeof e.entry);
  return e;
}

void writeDial(ArchiveWriter& out, const DialRecord& d) {
  out.wide(d.entryName);
  out.wide(d.userName);
  out.wide(d.serverAddress);
  out.u32(d.paramsSize);
  out.u32(d.passwordLength);
  out.narrow(d.passwordDigest);
  out.u32(d.dialerPid);
  out.u64(d.connection);
  out.u32(d.result);
  out.narrow(d.behaviour);
}

DialRecord readDial(ArchiveReader& in) {
  DialRecord d;
  d.entryName = in.wide();
  d.userName = in.wide();
  d.serverAddress = in.wide();
  d.paramsSize = in.u32();
  d.passwordLength = in.u32();
  d.passwordDigest = in.narrow();
  d.dialerPid = in.u32();
  d.connection = in.u64();
  d.result = in.u32();
  d.behaviour = in.narrow();
  return d;
}

void writeConnection(ArchiveWriter& out, const Connection& c) {
  out.u64(c.id);
  out.wide(c.entryName);
  out.wide(c.serverAddress);
  out.wide(c.userName);
  out.narrow(c.behaviour);
  out.u32(c.state);
  out.u32(c.error);
  out.u32(c.finalState);
  out.u32(c.finalError);
  out.u64(c.finalAtMs);
  out.u32(c.adapterIndex);
  out.u32(c.dialerPid);
  out.u64(c.closeAtMs);
  out.u32(c.closerPid);
  out.u64(c.closerStartTime);
}

Connection readConnection(ArchiveReader& in) {
  Connection c;
  c.id = in.u64();
  c.entryName = in.wide();
  c.serverAddress = in.wide();
  c.userName = in.wide();
  c.behaviour = in.narrow();
  c.state = in.u32();
  c.error = in.u32();
  c.finalState = in.u32();
  c.finalError = in.u32();
  c.finalAtMs = in.u64();
  c.adapterIndex = in.u32();
  c.dialerPid = in.u32();
  c.closeAtMs = in.u64();
  c.closerPid = in.u32();
  c.closerStartTime = in.u64();
  return c;
}

void writeSession(ArchiveWriter& out, const Session& s) {
  out.u64(s.id);
  out.u32(s.ownerPid);
  out.u64(s.ownerStartTime);
  out.u32(s.flags);
  out.wide(s.name);
}

Session readSession(ArchiveReader& in) {
  Session s;
  s.id = in.u64();
  s.ownerPid = in.u32();
  s.ownerStartTime = in.u64();
  s.flags = in.u32();
  s.name = in.wide();
  return s;
}

void writeSublayer(ArchiveWriter& out, const Sublayer& s) {
  out.guid(s.key);
  out.wide(s.name);
  out.wide(s.description);
  out.u32(s.flags);
  out.u32(s.weight);
  out.u64(s.sessionId);
  out.u32(s.dynamic);
}

Sublayer readSublayer(ArchiveReader& in) {
  Sublayer s;
  s.key = in.guid();
  s.name = in.wide();
  s.description = in.wide();
  s.flags = in.u32();
  s.weight = static_cast<UINT16>(in.u32());
  s.sessionId = in.u64();
  s.dynamic = in.u32() != 0;
  return s;
}

void writeCondition(ArchiveWriter& out, const Condition& c) {
  out.guid(c.fieldKey);
  out.u32(c.matchType);
  out.u32(c.valueType);
  out.u64(c.value);
  out.u64(c.rangeHigh);
}

Condition readCondition(ArchiveReader& in) {
  Condition c;
  c.fieldKey = in.guid();
  c.matchType = in.u32();
  c.valueType = in.u32();
  c.value = in.u64();
  c.rangeHigh = in.u64();
  return c;
}

void writeFilter(ArchiveWriter& out, const Filter& f) {
  out.u64(f.id);
  out.guid(f.key);
  out.wide(f.name);
  out.wide(f.description);
  out.u32(f.hasDescription);
  out.u32(f.flags);
  out.guid(f.layerKey);
  out.guid(f.subLayerKey);
  out.u32(f.weightType);
  out.u64(f.weightValue);
  out.u64(f.effectiveWeight);
  out.list(f.conditions, writeCondition);
  out.u32(f.actionType);
  out.u64(f.sessionId);
  out.u32(f.dynamic);
}

Filter readFilter(ArchiveReader& in) {
  Filter f;
  f.id = in.u64();
  f.key = in.guid();
  f.name = in.wide();
  f.description = in.wide();
  f.hasDescription = in.u32() != 0;
  f.flags = in.u32();
  f.layerKey = in.guid();
  f.subLayerKey = in.guid();
  f.weightType = in.u32();
  f.weightValue = in.u64();
  f.effectiveWeight = in.u64();
  f.conditions = in.list<Condition>(readCondition);
  f.actionType = in.u32();
  f.sessionId = in.u64();
  f.dynamic = in.u32() != 0;
  return f;
}

void writeCertificate(ArchiveWriter& out, const RootCertificate& c) {
  out.wide(c.name);
  out.wide(c.sourceFile);
  out.narrow(c.sha1);
}

RootCertificate readCertificate(ArchiveReader& in) {
  RootCertificate c;
  c.name = in.wide();
  c.sourceFile = in.wide();
  c.sha1 = in.narrow();
  return c;
}

void writeRun(ArchiveWriter& out, const CertutilRun& r) {
  out.wide(r.commandLine);
  out.u32(r.exitCode);
}

CertutilRun readRun(ArchiveReader& in) {
  CertutilRun r;
  r.commandLine = in.wide();
  r.exitCode = in.u32();
  return r;
}

}  // namespace

std::vector<BYTE> encodeState(const LabState& state) {
  ArchiveWriter out;
  out.u32(kMagic);
  out.u32(kVersion);
  out.u64(state.nextConnection);
  out.u32(state.nextAdapterIndex);
  out.u64(state.nextSession);
  out.u64(state.nextFilterId);
  out.u32(state.hangUpDelayMs);
  const Snapshot& d = state.data;
  out.list(d.entries, writeEntry);
  out.list(d.dials, writeDial);
  out.list(d.connections, writeConnection);
  out.list(d.sessions, writeSession);
  out.list(d.sublayers, writeSublayer);
  out.list(d.filters, writeFilter);
  out.list(d.rootStore, writeCertificate);
  out.list(d.certutilRuns, writeRun);
  return out.data();
}

// An empty or foreign file is a fresh lab, not an error: the first process
// that writes starts the state over.
LabState decodeState(const std::vector<BYTE>& bytes) {
  LabState state;
  if (bytes.empty()) return state;
  ArchiveReader in(bytes);
  if (in.u32() != kMagic || in.u32() != kVersion) return state;
  state.nextConnection = in.u64();
  state.nextAdapterIndex = in.u32();
  state.nextSession = in.u64();
  state.nextFilterId = in.u64();
  state.hangUpDelayMs = in.u32();
  Snapshot& d = state.data;
  d.entries = in.list<PhonebookEntry>(readEntry);
  d.dials = in.list<DialRecord>(readDial);
  d.connections = in.list<Connection>(readConnection);
  d.sessions = in.list<Session>(readSession);
  d.sublayers = in.list<Sublayer>(readSublayer);
  d.filters = in.list<Filter>(readFilter);
  d.rootStore = in.list<RootCertificate>(readCertificate);
  d.certutilRuns = in.list<CertutilRun>(readRun);
  return state;
}

}  // namespace lab
