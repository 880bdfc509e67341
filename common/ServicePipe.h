#pragma once

#include <cstdint>

// What the VPN library and its service agree on: one local named pipe, one
// 4-byte command and one 4-byte reply per exchange, in native byte order.

// The name under which the service control manager knows the service; it is
// also shown to users as its display name.
inline constexpr const wchar_t* serviceName = L"ZeravMobile VPN service";

inline constexpr const wchar_t* servicePipeName = L"\\\\.\\pipe\\ZeravMobile VPN service pipe";

enum ServiceCommand : std::int32_t {
    SERVICE_COMMAND_ZERO = 0,
    SERVICE_COMMAND_PING = 1,
    SERVICE_COMMAND_LOCK_DNS_LEAKS = 2,
    SERVICE_COMMAND_UNLOCK_DNS_LEAKS = 3,
};

enum ServiceReply : std::int32_t {
    SERVICE_REPLY_ZERO = 0,
    SERVICE_REPLY_OK = 1,
    SERVICE_REPLY_FAIL = 2,
    SERVICE_REPLY_UNKNOWN_COMMAND = 3,
};

static_assert(sizeof(ServiceCommand) == 4 && sizeof(ServiceReply) == 4, "pipe messages are 4 bytes");

// The names the service writes into its log.
inline const char* serviceCommandName(std::int32_t command)
{
    switch (command) {
    case SERVICE_COMMAND_ZERO: return "ZERO";
    case SERVICE_COMMAND_PING: return "PING";
    case SERVICE_COMMAND_LOCK_DNS_LEAKS: return "LOCK_DNS_LEAKS";
    case SERVICE_COMMAND_UNLOCK_DNS_LEAKS: return "UNLOCK_DNS_LEAKS";
    default: return "?";
    }
}

inline const char* serviceReplyName(std::int32_t reply)
{
    switch (reply) {
    case SERVICE_REPLY_ZERO: return "ZERO";
    case SERVICE_REPLY_OK: return "OK";
    case SERVICE_REPLY_FAIL: return "FAIL";
    case SERVICE_REPLY_UNKNOWN_COMMAND: return "UNKNOWN_COMMAND";
    default: return "?";
    }
}
