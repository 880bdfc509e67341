#include "LabInspect.h"

#include "FilterEngine.h"
#include "LabPaths.h"
#include "RasHandles.h"
#include "ServerDirectory.h"
#include "StateStore.h"
#include "TextFile.h"

#include <cstdio>
#include <stdexcept>

namespace lab {

Snapshot snapshot() {
  LabState state = StateStore::read();
  Snapshot result = state.data;
  result.takenAtMs = StateStore::nowMs();
  result.hangUpDelayMs = state.hangUpDelayMs;
  result.adapters = state.adapters();
  return result;
}

Verdict probe(const Probe& probe) { return FilterEngine::evaluate(snapshot(), probe); }

void reset() {
  StateStore::update([](LabState& state) { state.data = Snapshot{}; });
}

bool dropConnection(ULONGLONG id) {
  return StateStore::update([&](LabState& state) { return state.removeConnection(id); });
}

DWORD hangUpDelay() {
  return StateStore::update([](LabState& state) { return state.hangUpDelayMs; });
}

void setHangUpDelay(DWORD milliseconds) {
  if (milliseconds > kMaxHangUpDelayMs)
    throw std::invalid_argument("the hang-up delay is at most " + std::to_string(kMaxHangUpDelayMs) + " ms");
  StateStore::update([&](LabState& state) { state.hangUpDelayMs = milliseconds; });
}

HRASCONN rasHandle(ULONGLONG connectionId) { return RasHandles::toHandle(connectionId); }

std::string serverDirectory() {
  std::optional<std::string> text = readTextFile(LabPaths::serverDirectoryFile());
  return text ? *text : defaultServerDirectory();
}

// Parsed first, so a directory with a mistake is refused instead of
// turning every later dial into an unknown server.
void setServerDirectory(const std::string& text) {
  ServerDirectory::parse(text);
  writeTextFile(LabPaths::serverDirectoryFile(), text);
}

std::string defaultServerDirectory() { return ServerDirectory::defaultText(); }

// FNV-1a over the UTF-8 bytes: enough to show which password was passed
// without keeping it.
std::string passwordDigest(const std::wstring& password) {
  UINT64 hash = 0xcbf29ce484222325ULL;
  for (unsigned char byte : toUtf8(password)) {
    hash ^= byte;
    hash *= 0x100000001b3ULL;
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

}  // namespace lab
