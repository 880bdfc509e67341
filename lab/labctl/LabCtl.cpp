#include "LabCtl.h"

#include "LabInspect.h"
#include "TextFile.h"

#include <cwchar>
#include <stdexcept>

namespace lab {

namespace {

constexpr int kUsageError = 2;

const char kUsage[] =
    "usage: labctl show\n"
    "       labctl probe --port P --if N (--ipv4 | --ipv6)   exit 0: passes, 1: blocked\n"
    "       labctl reset                                     (keeps the server directory and the hang-up delay)\n"
    "       labctl servers [show | default | set FILE]\n"
    "       labctl drop ID                                   the connection number labctl show prints\n"
    "       labctl hangup-delay [MS]                         how long a hung-up connection takes to close\n";

unsigned long long number(const std::wstring& text) {
  wchar_t* end = nullptr;
  unsigned long long value = std::wcstoull(text.c_str(), &end, 0);
  if (text.empty() || *end != L'\0') throw std::invalid_argument("not a number: " + toUtf8(text));
  return value;
}

int usage(std::string& out) {
  out += kUsage;
  return kUsageError;
}

}  // namespace

int LabCtl::run(const std::vector<std::wstring>& arguments, std::string& out) {
  try {
    if (arguments.empty() || arguments[0] == L"show") return show(arguments, out);
    if (arguments[0] == L"probe") return probe(arguments, out);
    if (arguments[0] == L"servers") return servers(arguments, out);
    if (arguments[0] == L"drop") return drop(arguments, out);
    if (arguments[0] == L"hangup-delay") return hangUpDelay(arguments, out);
    if (arguments[0] == L"reset") {
      reset();
      out += "lab state reset\n";
      return 0;
    }
    return usage(out);
  } catch (const std::exception& error) {
    out += std::string("labctl: ") + error.what() + "\n";
    return kUsageError;
  }
}

int LabCtl::show(const std::vector<std::wstring>&, std::string& out) {
  out += describe(snapshot());
  return 0;
}

int LabCtl::probe(const std::vector<std::wstring>& arguments, std::string& out) {
  Probe request;
  bool port = false, index = false, version = false;
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::wstring& a = arguments[i];
    bool hasValue = i + 1 < arguments.size();
    if (a == L"--port" && hasValue) request.remotePort = static_cast<UINT16>(number(arguments[++i])), port = true;
    else if (a == L"--if" && hasValue) request.interfaceIndex = static_cast<UINT32>(number(arguments[++i])), index = true;
    else if (a == L"--ipv4") request.version = IpVersion::V4, version = true;
    else if (a == L"--ipv6") request.version = IpVersion::V6, version = true;
    else return usage(out);
  }
  if (!port || !index || !version) return usage(out);
  Verdict verdict = lab::probe(request);
  out += describe(request, verdict);
  return verdict.permitted ? 0 : 1;
}

int LabCtl::servers(const std::vector<std::wstring>& arguments, std::string& out) {
  std::wstring action = arguments.size() > 1 ? arguments[1] : L"show";
  if (action == L"show" && arguments.size() <= 2) {
    out += serverDirectory();
    return 0;
  }
  if (action == L"default" && arguments.size() == 2) {
    setServerDirectory(defaultServerDirectory());
    out += "server directory reset to the default\n";
    return 0;
  }
  if (action == L"set" && arguments.size() == 3) {
    std::optional<std::string> text = readTextFile(arguments[2]);
    if (!text) throw std::runtime_error("cannot read " + toUtf8(arguments[2]));
    setServerDirectory(*text);
    out += "server directory replaced\n";
    return 0;
  }
  return usage(out);
}

int LabCtl::drop(const std::vector<std::wstring>& arguments, std::string& out) {
  if (arguments.size() != 2) return usage(out);
  bool dropped = dropConnection(number(arguments[1]));
  out += dropped ? "connection dropped\n" : "no such connection\n";
  return dropped ? 0 : 1;
}

int LabCtl::hangUpDelay(const std::vector<std::wstring>& arguments, std::string& out) {
  if (arguments.size() > 2) return usage(out);
  if (arguments.size() == 2) {
    unsigned long long milliseconds = number(arguments[1]);
    if (milliseconds > kMaxHangUpDelayMs) return usage(out);
    setHangUpDelay(static_cast<DWORD>(milliseconds));
  }
  out += "hang-up delay " + std::to_string(lab::hangUpDelay()) + " ms\n";
  return 0;
}

}  // namespace lab
