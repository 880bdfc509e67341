#include "ServerDirectory.h"

#include "DefaultServers.h"
#include "LabPaths.h"
#include "TextFile.h"

#include <sstream>
#include <stdexcept>

namespace lab {

namespace {

constexpr DWORD kDefaultSlowDelayMs = 3000;
constexpr DWORD kDefaultNoAnswerDelayMs = 1000;

const struct {
  const char* name;
  ServerBehaviour behaviour;
} kBehaviours[] = {
    {"instant", ServerBehaviour::Instant}, {"slow", ServerBehaviour::Slow},
    {"refused", ServerBehaviour::Refused}, {"stalled", ServerBehaviour::Stalled},
    {"nostart", ServerBehaviour::NoStart}, {"noanswer", ServerBehaviour::NoAnswer},
    {"halfstart", ServerBehaviour::HalfStart},
};

// Servers that take their time wait this long when the line names no delay.
DWORD defaultDelay(ServerBehaviour behaviour) {
  switch (behaviour) {
    case ServerBehaviour::Slow: return kDefaultSlowDelayMs;
    case ServerBehaviour::NoAnswer: return kDefaultNoAnswerDelayMs;
    default: return 0;
  }
}

ServerBehaviour behaviourFrom(const std::string& name) {
  for (const auto& known : kBehaviours)
    if (name == known.name) return known.behaviour;
  throw std::invalid_argument("unknown server behaviour '" + name + "'");
}

std::optional<ServerEntry> parseLine(const std::string& line) {
  std::istringstream in(line.substr(0, line.find('#')));
  std::string address, behaviour, user, password;
  if (!(in >> address)) return std::nullopt;
  if (!(in >> behaviour >> user >> password))
    throw std::invalid_argument("server line needs address, behaviour, user and password: " + line);
  ServerEntry entry{fromUtf8(address), behaviourFrom(behaviour), fromUtf8(user), fromUtf8(password), 0};
  if (!(in >> entry.delayMs)) entry.delayMs = defaultDelay(entry.behaviour);
  return entry;
}

}  // namespace

const char* behaviourName(ServerBehaviour behaviour) {
  for (const auto& known : kBehaviours)
    if (known.behaviour == behaviour) return known.name;
  return "?";
}

const char* ServerDirectory::defaultText() { return kDefaultServers; }

ServerDirectory ServerDirectory::parse(const std::string& text) {
  ServerDirectory directory;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (auto entry = parseLine(line)) directory.servers_.push_back(*entry);
  }
  return directory;
}

// A prefix that has no directory yet answers with the default one, so a
// fresh lab behaves the same as one set up by setup-prefix.
ServerDirectory ServerDirectory::load() {
  std::optional<std::string> text = readTextFile(LabPaths::serverDirectoryFile());
  return parse(text ? *text : defaultText());
}

std::optional<ServerEntry> ServerDirectory::find(const std::wstring& address) const {
  for (const ServerEntry& entry : servers_)
    if (_wcsicmp(entry.address.c_str(), address.c_str()) == 0) return entry;
  return std::nullopt;
}

}  // namespace lab
