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

DialPlan unknownServer() {
  DialPlan plan;
  plan.behaviour = "unknown-server";
  plan.progress = kUpToDevice;
  plan.finalState = RASCS_Disconnected;
  plan.finalError = ERROR_DNSNAME_NOT_RESOLVABLE;
  return plan;
}

DialPlan refusal(const char* behaviour) {
  DialPlan plan;
  plan.behaviour = behaviour;
  plan.progress = kUpToAuthentication;
  plan.delayMs = kRefusalDelayMs;
  plan.finalState = RASCS_Disconnected;
  plan.finalError = ERROR_AUTHENTICATION_FAILURE;
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
      plan.startError = ERROR_PORT_NOT_AVAILABLE;
      return plan;
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
