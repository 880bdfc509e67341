#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace lab {

enum class ServerBehaviour { Instant, Slow, Refused, Stalled, NoStart, NoAnswer, HalfStart };

struct ServerEntry {
  std::wstring address;
  ServerBehaviour behaviour = ServerBehaviour::Instant;
  std::wstring user;      // "*" accepts any user name
  std::wstring password;  // "*" accepts any password
  DWORD delayMs = 0;
};

// The lab's list of VPN servers: which address answers how, and to which
// credentials. Text, one server a line, '#' starts a comment.
class ServerDirectory {
 public:
  static ServerDirectory load();
  static ServerDirectory parse(const std::string& text);
  static const char* defaultText();

  std::optional<ServerEntry> find(const std::wstring& address) const;
  const std::vector<ServerEntry>& servers() const { return servers_; }

 private:
  std::vector<ServerEntry> servers_;
};

const char* behaviourName(ServerBehaviour behaviour);

}  // namespace lab
