#include "Dialer.h"

#include "DialNotifier.h"
#include "DialPlan.h"
#include "LabInspect.h"
#include "RasHandles.h"
#include "StateStore.h"

#include <raserror.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <thread>

namespace lab {

namespace {

constexpr DWORD kKnownParamSizes[] = {2096, 2108, ras_layout::kRasDialParamsSizeW7,
                                      ras_layout::kRasDialParamsSizeW81};
constexpr DWORD kPollMs = 100;

bool knownParamSize(DWORD size) {
  for (DWORD known : kKnownParamSizes)
    if (size == known) return true;
  return false;
}

// The fields are fixed arrays that a caller may fill to the brim.
template <size_t N>
std::wstring field(const WCHAR (&text)[N]) {
  return std::wstring(text, wcsnlen(text, N));
}

struct Request {
  std::wstring entryName;
  std::wstring phoneNumber;
  std::wstring userName;
  std::wstring password;
  DWORD paramsSize;
};

Request readRequest(const RasDialParamsW81& p) {
  return {field(p.szEntryName), field(p.szPhoneNumber), field(p.szUserName), field(p.szPassword), p.dwSize};
}

DialRecord recordOf(const Request& request, const std::wstring& server, const DialPlan& plan) {
  DialRecord record;
  record.entryName = request.entryName;
  record.userName = request.userName;
  record.serverAddress = server;
  record.paramsSize = request.paramsSize;
  record.passwordLength = static_cast<DWORD>(request.password.size());
  record.passwordDigest = passwordDigest(request.password);
  record.dialerPid = GetCurrentProcessId();
  record.behaviour = plan.behaviour;
  record.result = plan.startError;
  return record;
}

Connection connectionOf(const Request& request, const std::wstring& server, const DialPlan& plan) {
  Connection c;
  c.entryName = request.entryName;
  c.serverAddress = server;
  c.userName = request.userName;
  c.behaviour = plan.behaviour;
  c.state = plan.progress.back();
  c.finalState = plan.finalState;
  c.finalError = plan.finalError;
  c.finalAtMs = plan.reachesFinal ? StateStore::nowMs() + plan.delayMs : 0;
  c.dialerPid = GetCurrentProcessId();
  return c;
}

// Opens the connection and returns its number, or 0 with `error` set.
ULONGLONG open(const Request& request, DialPlan& plan, DWORD& error) {
  std::wstring serverOverride = request.phoneNumber;
  return StateStore::update([&](LabState& state) -> ULONGLONG {
    const PhonebookEntry* entry = state.findEntry(request.entryName);
    if (entry == nullptr) {
      error = ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
      return 0;
    }
    std::wstring server = serverOverride.empty() ? field(entry->entry.w7.szLocalPhoneNumber) : serverOverride;
    plan = DialPlan::choose(ServerDirectory::load().find(server), request.userName, request.password);
    DialRecord record = recordOf(request, server, plan);
    error = plan.startError;
    if (error == 0) {
      Connection connection = connectionOf(request, server, plan);
      connection.id = record.connection = state.nextConnection++;
      state.data.connections.push_back(connection);
    }
    state.data.dials.push_back(record);
    return error == 0 ? record.connection : 0;
  });
}

// Waits for the dial's outcome; the connection may have been hung up by
// then, by this process or any other.
std::optional<Connection> outcome(ULONGLONG id, const DialPlan& plan, ULONGLONG finalAtMs) {
  for (;;) {
    ULONGLONG now = StateStore::nowMs();
    if (plan.reachesFinal && now < finalAtMs) Sleep(static_cast<DWORD>(std::min<ULONGLONG>(finalAtMs - now, kPollMs)));
    else if (!plan.reachesFinal) Sleep(kPollMs);
    std::optional<Connection> current = StateStore::update([&](LabState& state) -> std::optional<Connection> {
      const Connection* c = state.findConnection(id);
      return c ? std::optional<Connection>(*c) : std::nullopt;
    });
    if (!current || current->state >= RASCS_Connected) return current;
  }
}

ULONGLONG finalAtOf(ULONGLONG id) {
  return StateStore::update([&](LabState& state) {
    const Connection* c = state.findConnection(id);
    return c ? c->finalAtMs : 0ULL;
  });
}

void playOut(DialNotifier notifier, ULONGLONG id, DialPlan plan) {
  for (RASCONNSTATE state : plan.progress)
    if (!notifier.notify(state, 0)) return;
  if (!plan.reachesFinal) return;
  std::optional<Connection> done = outcome(id, plan, finalAtOf(id));
  if (!done) return;
  if (done->state == RASCS_Connected && !notifier.notify(RASCS_Authenticated, 0)) return;
  notifier.notify(static_cast<RASCONNSTATE>(done->state), done->error);
}

DWORD dialSynchronously(ULONGLONG id, const DialPlan& plan) {
  std::optional<Connection> done = outcome(id, plan, finalAtOf(id));
  if (!done) return ERROR_USER_DISCONNECTION;
  return done->state == RASCS_Connected ? ERROR_SUCCESS : done->error;
}

}  // namespace

DWORD Dialer::dial(LPCWSTR phonebook, const BYTE* params, DWORD notifierType, void* notifier,
                   HRASCONN* handle) {
  if (handle == nullptr || params == nullptr) return ERROR_INVALID_PARAMETER;
  *handle = nullptr;
  if (phonebook != nullptr) return ERROR_CANNOT_OPEN_PHONEBOOK;
  RasDialParamsW81 copy{};
  std::memcpy(&copy, params, sizeof(DWORD));
  if (!knownParamSize(copy.dwSize)) return ERROR_INVALID_SIZE;
  if (notifier != nullptr && !DialNotifier::supportedType(notifierType)) return ERROR_INVALID_PARAMETER;
  std::memcpy(&copy, params, copy.dwSize);

  Request request = readRequest(copy);
  DialPlan plan;
  DWORD error = 0;
  ULONGLONG id = open(request, plan, error);
  if (id == 0) return error;
  *handle = RasHandles::toHandle(id);
  if (notifier == nullptr) return dialSynchronously(id, plan);
  DialNotifier callbacks(notifierType, notifier, *handle, copy.dwCallbackId);
  std::thread(playOut, callbacks, id, plan).detach();
  return ERROR_SUCCESS;
}

}  // namespace lab
