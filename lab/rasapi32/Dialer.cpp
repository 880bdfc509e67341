#include "Dialer.h"

#include "DialNotifier.h"
#include "DialPlan.h"
#include "LabInspect.h"
#include "RasHandles.h"
#include "StateStore.h"
#include "StructureVersions.h"

#include <raserror.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <thread>

namespace lab {

namespace {

constexpr DWORD kPollMs = 100;
// How long past its due time a dial's outcome may take to show, and how
// long a synchronous dial waits for a server that never answers.
constexpr ULONGLONG kOutcomeGraceMs = 5000;
constexpr ULONGLONG kSynchronousPatienceMs = 30000;

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
  c.error = plan.startError;
  c.finalState = plan.finalState;
  c.finalError = plan.finalError;
  c.finalAtMs = plan.reachesFinal ? StateStore::nowMs() + plan.delayMs : 0;
  c.dialerPid = GetCurrentProcessId();
  return c;
}

// An entry has one connection at a time. While it is open the entry's port
// is taken; while its hang-up is still under way the port is disconnecting
// (the "immediate attempt to use the same connection" that RasHangUp's
// documentation warns of fails so, as Windows does).
DWORD entryInUse(LabState& state, const std::wstring& entryName) {
  const Connection* existing = state.findConnectionOfEntry(entryName);
  if (existing == nullptr) return ERROR_SUCCESS;
  return existing->closing() ? ERROR_ALREADY_DISCONNECTING : ERROR_PORT_ALREADY_OPEN;
}

DialRecord refusedRecord(const Request& request, DWORD error) {
  DialPlan none;
  none.behaviour = error == ERROR_ALREADY_DISCONNECTING ? "entry-closing" : "entry-open";
  none.startError = error;
  return recordOf(request, L"", none);
}

// Opens the connection and returns its number, or 0 when the dial cannot
// start without one. `error` is the dial's immediate result either way.
ULONGLONG open(const Request& request, DialPlan& plan, DWORD& error) {
  std::wstring serverOverride = request.phoneNumber;
  return StateStore::update([&](LabState& state) -> ULONGLONG {
    const PhonebookEntry* entry = state.findEntry(request.entryName);
    if (entry == nullptr) {
      error = ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
      return 0;
    }
    if ((error = entryInUse(state, request.entryName)) != ERROR_SUCCESS) {
      state.data.dials.push_back(refusedRecord(request, error));
      return 0;
    }
    std::wstring server = serverOverride.empty() ? field(entry->entry.w7.szLocalPhoneNumber) : serverOverride;
    plan = DialPlan::choose(ServerDirectory::load().find(server), request.userName, request.password);
    DialRecord record = recordOf(request, server, plan);
    error = plan.startError;
    if (error == 0 || plan.handleOnStartError) {
      Connection connection = connectionOf(request, server, plan);
      connection.id = record.connection = state.nextConnection++;
      state.data.connections.push_back(connection);
    }
    state.data.dials.push_back(record);
    return record.connection;
  });
}

std::optional<Connection> current(ULONGLONG id) {
  return StateStore::update([&](LabState& state) -> std::optional<Connection> {
    const Connection* c = state.findConnection(id);
    return c ? std::optional<Connection>(*c) : std::nullopt;
  });
}

// Waits until the dial has its outcome or is hung up (by this process or
// any other), and no longer than `untilMs`.
std::optional<Connection> awaitOutcome(ULONGLONG id, ULONGLONG untilMs) {
  for (;;) {
    std::optional<Connection> c = current(id);
    if (!c || !c->dialing()) return c;
    ULONGLONG now = StateStore::nowMs();
    if (now >= untilMs) return c;
    ULONGLONG due = c->finalAtMs > now ? c->finalAtMs - now : kPollMs;
    Sleep(static_cast<DWORD>(std::min<ULONGLONG>({due, kPollMs, untilMs - now})));
  }
}

ULONGLONG outcomeLimit(ULONGLONG id) {
  std::optional<Connection> c = current(id);
  return c && c->finalAtMs != 0 ? c->finalAtMs + kOutcomeGraceMs : StateStore::nowMs() + kOutcomeGraceMs;
}

// The notifier hears each state as it is entered, then either Authenticated
// and Connected or, when the dial fails, the state it failed in once more
// with the error; nothing after that, and nothing once it is hung up.
void playOut(DialNotifier notifier, ULONGLONG id, DialPlan plan) {
  for (RASCONNSTATE state : plan.progress)
    if (!notifier.notify(state, 0)) return;
  if (!plan.reachesFinal) return;
  std::optional<Connection> done = awaitOutcome(id, outcomeLimit(id));
  if (!done || done->closing() || done->dialing()) return;
  if (done->error != 0) {
    notifier.notify(static_cast<RASCONNSTATE>(done->state), done->error);
    return;
  }
  if (notifier.notify(RASCS_Authenticated, 0)) notifier.notify(RASCS_Connected, 0);
}

// A synchronous dial has no time-out of its caller; one whose server never
// answers gives up after a while and fails where it stands.
DWORD giveUp(ULONGLONG id) {
  return StateStore::update([&](LabState& state) -> DWORD {
    Connection* c = state.findConnection(id);
    if (c == nullptr || c->closing()) return ERROR_USER_DISCONNECTION;
    if (!c->dialing()) return c->error;
    c->finalState = c->state;
    c->error = c->finalError = ERROR_REQUEST_TIMEOUT;
    c->finalAtMs = 0;
    return c->error;
  });
}

DWORD dialSynchronously(ULONGLONG id, const DialPlan& plan) {
  ULONGLONG limit = plan.reachesFinal ? outcomeLimit(id) : StateStore::nowMs() + kSynchronousPatienceMs;
  std::optional<Connection> done = awaitOutcome(id, limit);
  if (!done || done->closing()) return ERROR_USER_DISCONNECTION;
  if (done->dialing()) return giveUp(id);
  return done->error;
}

}  // namespace

DWORD Dialer::dial(LPCWSTR phonebook, const BYTE* params, DWORD notifierType, void* notifier,
                   HRASCONN* handle) {
  if (handle == nullptr || params == nullptr) return ERROR_INVALID_PARAMETER;
  *handle = nullptr;
  if (phonebook != nullptr) return ERROR_CANNOT_OPEN_PHONEBOOK;
  RasDialParamsW81 copy{};
  std::memcpy(&copy, params, sizeof(DWORD));
  if (!StructureVersions::dialParams(toldRelease(), copy.dwSize)) return ERROR_INVALID_SIZE;
  if (notifier != nullptr && !DialNotifier::supportedType(notifierType)) return ERROR_INVALID_PARAMETER;
  std::memcpy(&copy, params, copy.dwSize);

  Request request = readRequest(copy);
  DialPlan plan;
  DWORD error = 0;
  ULONGLONG id = open(request, plan, error);
  if (id != 0) *handle = RasHandles::toHandle(id);
  if (error != ERROR_SUCCESS) return error;
  if (notifier == nullptr) return dialSynchronously(id, plan);
  DialNotifier callbacks(notifierType, notifier, *handle, copy.dwCallbackId);
  std::thread(playOut, callbacks, id, plan).detach();
  return ERROR_SUCCESS;
}

}  // namespace lab
