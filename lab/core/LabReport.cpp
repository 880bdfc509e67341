#include "LabInspect.h"

#include "TextFile.h"
#include "common/FwpDefinitions.h"

#include <ras.h>

#include <cstdio>
#include <sstream>

namespace lab {

namespace {

std::string hex(UINT64 value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
  return text;
}

std::string quoted(const std::wstring& text) { return "\"" + toUtf8(text) + "\""; }

std::string guidName(const GUID& guid) {
  static const struct {
    const GUID* guid;
    const char* name;
  } known[] = {
      {&fwp_def::kLayerAleAuthConnectV4, "ALE_AUTH_CONNECT_V4"},
      {&fwp_def::kLayerAleAuthConnectV6, "ALE_AUTH_CONNECT_V6"},
      {&fwp_def::kConditionIpRemotePort, "IP_REMOTE_PORT"},
      {&fwp_def::kConditionInterfaceIndex, "INTERFACE_INDEX"},
  };
  for (const auto& k : known)
    if (IsEqualGUID(*k.guid, guid)) return k.name;
  return formatGuid(guid);
}

std::string stateName(DWORD state) {
  static const char* const dialing[] = {
      "OpenPort", "PortOpened", "ConnectDevice", "DeviceConnected", "AllDevicesConnected",
      "Authenticate", "AuthNotify", "AuthRetry", "AuthCallback", "AuthChangePassword",
      "AuthProject", "AuthLinkSpeed", "AuthAck", "ReAuthenticate", "Authenticated"};
  if (state < sizeof dialing / sizeof *dialing) return dialing[state];
  if (state == RASCS_Connected) return "Connected";
  if (state == RASCS_Disconnected) return "Disconnected";
  return hex(state);
}

std::string dataTypeName(UINT32 type) {
  switch (type) {
    case FWP_EMPTY: return "FWP_EMPTY";
    case FWP_UINT8: return "FWP_UINT8";
    case FWP_UINT16: return "FWP_UINT16";
    case FWP_UINT32: return "FWP_UINT32";
    case FWP_UINT64: return "FWP_UINT64";
    case FWP_RANGE_TYPE: return "FWP_RANGE_TYPE";
    default: return hex(type);
  }
}

std::string matchName(UINT32 match) {
  static const char* const names[] = {"EQUAL", "GREATER", "LESS", "GREATER_OR_EQUAL", "LESS_OR_EQUAL",
                                      "RANGE", "FLAGS_ALL_SET", "FLAGS_ANY_SET", "FLAGS_NONE_SET",
                                      "EQUAL_CASE_INSENSITIVE", "NOT_EQUAL"};
  return match < sizeof names / sizeof *names ? names[match] : hex(match);
}

std::string actionName(UINT32 action) {
  if (action == FWP_ACTION_BLOCK) return "BLOCK";
  if (action == FWP_ACTION_PERMIT) return "PERMIT";
  return hex(action);
}

void entries(std::ostream& out, const Snapshot& s) {
  out << "== phone book (" << s.entries.size() << ")\n";
  for (const PhonebookEntry& e : s.entries) {
    const RasEntryW7& w = e.entry.w7;
    out << quoted(e.name) << " size " << e.size << " phone " << quoted(w.szLocalPhoneNumber)
        << " device " << quoted(w.szDeviceType) << " type " << w.dwType << " options " << hex(w.dwfOptions)
        << " options2 " << hex(w.dwfOptions2) << " protocols " << hex(w.dwfNetProtocols)
        << " encryption " << w.dwEncryptionType << " strategy " << w.dwVpnStrategy << " metrics v4 "
        << w.dwIPv4InterfaceMetric << " v6 " << w.dwIPv6InterfaceMetric << " redial " << w.dwRedialCount
        << "/" << w.dwRedialPause << "\n";
  }
}

void dials(std::ostream& out, const Snapshot& s) {
  out << "== dials (" << s.dials.size() << ")\n";
  for (const DialRecord& d : s.dials)
    out << "entry " << quoted(d.entryName) << " user " << quoted(d.userName) << " password "
        << d.passwordLength << " chars digest " << d.passwordDigest << " server " << quoted(d.serverAddress)
        << " params-size " << d.paramsSize << " behaviour " << d.behaviour << " result " << d.result
        << " connection " << d.connection << " pid " << d.dialerPid << "\n";
}

// A closing connection says when it is due to close and which process's
// hang-up it waits for; it stays open if that process ends first.
void closing(std::ostream& out, const Connection& c, ULONGLONG nowMs) {
  if (!c.closing()) return;
  ULONGLONG dueIn = c.closeAtMs > nowMs ? c.closeAtMs - nowMs : 0;
  out << " closing due-in " << dueIn << "ms hung-up-by-pid " << c.closerPid;
}

void connections(std::ostream& out, const Snapshot& s) {
  out << "== connections (" << s.connections.size() << ", hang-up delay " << s.hangUpDelayMs << " ms)\n";
  for (const Connection& c : s.connections) {
    out << "connection " << c.id << " handle " << hex(reinterpret_cast<ULONG_PTR>(rasHandle(c.id))) << " entry "
        << quoted(c.entryName) << " server " << quoted(c.serverAddress) << " user " << quoted(c.userName)
        << " state " << stateName(c.state) << " error " << c.error << " adapter " << c.adapterIndex
        << " behaviour " << c.behaviour << " dialer-pid " << c.dialerPid;
    closing(out, c, s.takenAtMs);
    out << "\n";
  }
  out << "== adapters (" << s.adapters.size() << ")\n";
  for (const Adapter& a : s.adapters)
    out << "index " << a.index << " description \"" << a.description << "\" connection "
        << a.connection << "\n";
}

void condition(std::ostream& out, const Condition& c) {
  out << "    condition " << guidName(c.fieldKey) << " " << matchName(c.matchType) << " "
      << dataTypeName(c.valueType) << " " << c.value;
  if (c.valueType == FWP_RANGE_TYPE) out << ".." << c.rangeHigh;
  out << "\n";
}

void wfp(std::ostream& out, const Snapshot& s) {
  out << "== sessions (" << s.sessions.size() << ")\n";
  for (const Session& x : s.sessions)
    out << "session " << x.id << " pid " << x.ownerPid << " flags " << hex(x.flags)
        << ((x.flags & FWPM_SESSION_FLAG_DYNAMIC) ? " dynamic" : "") << " name " << quoted(x.name) << "\n";
  out << "== sublayers (" << s.sublayers.size() << ")\n";
  for (const Sublayer& x : s.sublayers)
    out << formatGuid(x.key) << " name " << quoted(x.name) << " description " << quoted(x.description)
        << " flags " << hex(x.flags) << " weight " << x.weight << " session " << x.sessionId << "\n";
  out << "== filters (" << s.filters.size() << ")\n";
  for (const Filter& f : s.filters) {
    out << "filter " << f.id << " key " << formatGuid(f.key) << " name " << quoted(f.name)
        << " description " << (f.hasDescription ? quoted(f.description) : "(none)") << " flags "
        << hex(f.flags) << " layer " << guidName(f.layerKey) << " sublayer " << formatGuid(f.subLayerKey)
        << " weight " << dataTypeName(f.weightType);
    if (f.weightType != FWP_EMPTY) out << " " << f.weightValue;
    out << " effective " << hex(f.effectiveWeight) << " action " << actionName(f.actionType) << " session "
        << f.sessionId << "\n";
    for (const Condition& c : f.conditions) condition(out, c);
  }
}

void certificates(std::ostream& out, const Snapshot& s) {
  out << "== root store (" << s.rootStore.size() << ")\n";
  for (const RootCertificate& c : s.rootStore)
    out << quoted(c.name) << " sha1 " << c.sha1 << " from " << quoted(c.sourceFile) << "\n";
  out << "== certutil runs (" << s.certutilRuns.size() << ")\n";
  for (const CertutilRun& r : s.certutilRuns)
    out << "exit " << hex(r.exitCode) << ": " << toUtf8(r.commandLine) << "\n";
}

}  // namespace

std::string formatGuid(const GUID& g) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2],
                g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return text;
}

std::string describe(const Snapshot& state) {
  std::ostringstream out;
  entries(out, state);
  dials(out, state);
  connections(out, state);
  wfp(out, state);
  certificates(out, state);
  return out.str();
}

std::string describe(const Probe& probe, const Verdict& verdict) {
  std::ostringstream out;
  out << "remote port " << probe.remotePort << " interface " << probe.interfaceIndex << " "
      << (probe.version == IpVersion::V4 ? "IPv4" : "IPv6") << ": "
      << (verdict.permitted ? "PASS" : "BLOCK");
  if (verdict.decidingFilter) out << " (filter " << *verdict.decidingFilter << ")";
  else out << " (no filter matched)";
  out << "\n";
  return out.str();
}

}  // namespace lab
