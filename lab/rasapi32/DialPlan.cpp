#include "DialPlan.h"

#include <raserror.h>

namespace lab {

namespace {

const std::vector<RASCONNSTATE> kUpToAuthentication = {
    RASCS_OpenPort,        RASCS_PortOpened,          RASCS_ConnectDevice,
    RASCS_DeviceConnected, RASCS_AllDevicesConnected, RASCS_Authenticate};

const std::vector<RASCONNSTATE> kUpToDevice = {RASCS_OpenPort, RASCS_PortOpened, RASCS_ConnectDevice};

constexpr DWORD kRefusalDelayMs = 200;

bool accepts(const std::wstring& expected, const std::wstring& given) {
  return expected == L"*" || expected == given;
}

// The dial fails in the last state it reached.
DialPlan failing(const char* behaviour, const std::vector<RASCONNSTATE>& progress, DWORD delayMs, DWORD error) {
  DialPlan plan;
  plan.behaviour = behaviour;
  plan.progress = progress;
  plan.delayMs = delayMs;
  plan.finalState = progress.back();
  plan.finalError = error;
  return plan;
}

DialPlan unknownServer() {
  return failing("unknown-server", kUpToDevice, 0, ERROR_DNSNAME_NOT_RESOLVABLE);
}

DialPlan refusal(const char* behaviour) {
  return failing(behaviour, kUpToAuthentication, kRefusalDelayMs, ERROR_AUTHENTICATION_FAILURE);
}

// The port cannot be opened. RasDialW says so at once; the half-started
// kind hands out a handle with the error, which stays a connection (in
// OpenPort with the error) until it is hung up.
DialPlan noStart(const char* behaviour, bool withHandle) {
  DialPlan plan;
  plan.behaviour = behaviour;
  plan.startError = ERROR_PORT_NOT_AVAILABLE;
  plan.handleOnStartError = withHandle;
  plan.progress = {RASCS_OpenPort};
  plan.reachesFinal = false;
  plan.finalState = RASCS_OpenPort;
  plan.finalError = ERROR_PORT_NOT_AVAILABLE;
  return plan;
}

}  // namespace

DialPlan DialPlan::choose(const std::optional<ServerEntry>& server, const std::wstring& user,
                          const std::wstring& password) {
  if (!server) return unknownServer();
  DialPlan plan;
  plan.behaviour = behaviourName(server->behaviour);
  plan.progress = kUpToAuthentication;
  switch (server->behaviour) {
    case ServerBehaviour::NoStart:
      return noStart("nostart", false);
    case ServerBehaviour::HalfStart:
      return noStart("halfstart", true);
    case ServerBehaviour::NoAnswer:
      return failing("noanswer", kUpToDevice, server->delayMs, ERROR_AUTOMATIC_VPN_FAILED);
    case ServerBehaviour::Refused:
      return refusal("refused");
    case ServerBehaviour::Stalled:
      plan.reachesFinal = false;
      return plan;
    case ServerBehaviour::Slow:
    case ServerBehaviour::Instant:
      break;
  }
  if (!accepts(server->user, user) || !accepts(server->password, password)) return refusal("bad-credentials");
  plan.delayMs = server->delayMs;
  return plan;
}

}  // namespace lab
