#include "AgileVPN.h"

#include "DialFailed.h"

#include "LogRecord.h"
#include "RasLayouts.h"
#include "StringConversion.h"
#include "WindowsError.h"

#include <iphlpapi.h>

#include <cstring>
#include <stdexcept>
#include <utility>
#include <vector>

namespace {

constexpr DWORD ERROR_RAS_BUFFER_TOO_SMALL = 603;
constexpr DWORD notFound = 0xFFFFFFFF;
constexpr ULONGLONG hangUpLimitMs = 5000;
constexpr DWORD hangUpPollMs = 20;

// Copies text into a fixed RAS field, refusing what does not fit rather
// than dialing with a cut-off name or password.
template <size_t N>
void copyField(WCHAR (&field)[N], const std::string& utf8, const char* name)
{
    const std::wstring wide = toWide(utf8);
    if (wide.size() >= N)
        throw std::runtime_error(std::string(name) + " is longer than " + std::to_string(N - 1) + " characters");
    std::memcpy(field, wide.c_str(), (wide.size() + 1) * sizeof(WCHAR));
}

bool isWindowsAtLeast(BYTE major, BYTE minor)
{
    OSVERSIONINFOEXW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    version.dwMajorVersion = major;
    version.dwMinorVersion = minor;
    version.wServicePackMajor = 0;
    DWORDLONG mask = 0;
    mask = VerSetConditionMask(mask, VER_MAJORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
    return VerifyVersionInfoW(&version, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR, mask);
}

DWORD dialParamsSize()
{
    if (isWindowsAtLeast(6, 3))
        return ras_layout::kRasDialParamsSizeW81;
    if (isWindowsAtLeast(6, 1))
        return ras_layout::kRasDialParamsSizeW7;
    throw std::runtime_error("Unsupported OS");
}

DWORD defaultEntrySize()
{
    DWORD size = 0;
    checkWindowsError("RasGetEntryProperties",
                      RasGetEntryPropertiesW(nullptr, L"", nullptr, &size, nullptr, nullptr),
                      ERROR_RAS_BUFFER_TOO_SMALL);
    // The entry is filled through the Windows 7 layout, so the system must
    // take at least that much.
    if (size < sizeof(RasEntryW7))
        throw std::runtime_error("RasGetEntryProperties: entry size " + std::to_string(size) + " is too small");
    return size;
}

void fillEntry(RasEntryW7& entry, DWORD size, const std::string& server)
{
    entry.dwSize = size;
    entry.dwfOptions = RASEO_RemoteDefaultGateway | RASEO_SwCompression | RASEO_RequireEncryptedPw |
                       RASEO_RequireDataEncryption;
    copyField(entry.szLocalPhoneNumber, server, "Server address");
    entry.dwfNetProtocols = RASNP_Ip;
    std::memcpy(entry.szDeviceType, RASDT_Vpn, sizeof RASDT_Vpn);
    entry.dwType = RASET_Vpn;
    entry.dwEncryptionType = ET_Require;
    entry.dwVpnStrategy = ras_layout::kVpnStrategyIkev2Only;
    entry.dwfOptions2 |= ras_layout::kOptions2IPv4ExplicitMetric | ras_layout::kOptions2IPv6ExplicitMetric;
    entry.dwRedialCount = 0;
    entry.dwRedialPause = 0;
    entry.dwIPv4InterfaceMetric = 3;
    entry.dwIPv6InterfaceMetric = 3;
}

std::vector<BYTE> interfaceTable()
{
    ULONG size = 0;
    checkWindowsError("GetIfTable get size", GetIfTable(nullptr, &size, FALSE), ERROR_INSUFFICIENT_BUFFER);
    std::vector<BYTE> buffer(size);
    checkWindowsError("GetIfTable get data",
                      GetIfTable(reinterpret_cast<MIB_IFTABLE*>(buffer.data()), &size, FALSE));
    return buffer;
}

} // namespace

AgileVPN& AgileVPN::instance()
{
    static AgileVPN agileVPN;
    return agileVPN;
}

AgileVPN::AgileVPN()
    : lastDialState_(RASCS_Disconnected)
    , dialComplete_(CreateEventW(nullptr, FALSE, FALSE, nullptr))
{
    log(LogLevel::Trace, "AgileVPN::AgileVPN");
}

AgileVPN::~AgileVPN()
{
    log(LogLevel::Trace, "AgileVPN::~AgileVPN");
}

void AgileVPN::checkServerAddress(const std::string& server)
{
    decltype(RasEntryW7::szLocalPhoneNumber) field;
    copyField(field, server, "Server address");
}

void AgileVPN::checkDialNames(const std::string& entryName, const std::string& userName,
                              const std::string& password)
{
    RasDialParamsW81 params;
    copyField(params.szEntryName, entryName, "Entry name");
    copyField(params.szUserName, userName, "User name");
    copyField(params.szPassword, password, "Password");
    SecureZeroMemory(params.szPassword, sizeof params.szPassword);
}

void AgileVPN::createEntry(const std::string& server)
{
    log(LogLevel::Trace, "AgileVPN::createEntry");
    const DWORD size = defaultEntrySize();
    std::vector<BYTE> buffer(size);
    auto& entry = *reinterpret_cast<RasEntryW7*>(buffer.data());
    fillEntry(entry, size, server);
    const std::wstring name = toWide(config.entryName);
    deleteEntry();
    checkWindowsError("RasSetEntryProperties",
                      RasSetEntryPropertiesW(nullptr, name.c_str(), reinterpret_cast<RASENTRYW*>(buffer.data()),
                                             entry.dwSize, nullptr, 0));
}

bool AgileVPN::connect()
{
    log(LogLevel::Trace, "AgileVPN::connect");
    if (connection_)
        return true;
    RasDialParamsW81 params = {};
    params.dwSize = dialParamsSize();
    copyField(params.szEntryName, config.entryName, "Entry name");
    copyField(params.szUserName, config.userName, "User name");
    copyField(params.szPassword, config.password, "Password");

    lastDialState_ = RASCS_Disconnected;
    lastDialError_ = 0;
    ResetEvent(dialComplete_.get());
    HRASCONN handle = nullptr;
    const DWORD result = RasDialW(nullptr, nullptr, reinterpret_cast<RASDIALPARAMSW*>(&params), 0,
                                  reinterpret_cast<LPVOID>(&AgileVPN::dialNotifier), &handle);
    SecureZeroMemory(params.szPassword, sizeof params.szPassword);
    // A dial that cannot start may still hand out a handle, which must be
    // hung up like any other.
    if (result != 0 && handle)
        hangUp(handle);
    checkWindowsError("RasDial", result);
    connection_ = handle;

    const DWORD wait = WaitForSingleObject(dialComplete_.get(), static_cast<DWORD>(config.timeoutMs));
    if (wait == WAIT_OBJECT_0 && lastDialState_ == RASCS_Connected && lastDialError_ == 0)
        return true;
    const DWORD error = lastDialError_;
    hangUp(std::exchange(connection_, nullptr));
    log(LogLevel::Error, "RasDial() timeout");
    throw DialFailed(error != 0 ? windowsErrorMessage("RasDial", error) : std::string());
}

// Windows reports a failed dial by calling again with the state in which it
// failed and a non-zero error; it does not go on to a final state. Either
// ends the wait.
void __stdcall AgileVPN::dialNotifier(unsigned int, unsigned int state, unsigned long error)
{
    AgileVPN& vpn = instance();
    vpn.lastDialState_ = state;
    if (error != 0)
        vpn.lastDialError_ = error;
    if (state >= RASCS_Connected || error != 0)
        SetEvent(vpn.dialComplete_.get());
}

void AgileVPN::disconnect()
{
    log(LogLevel::Trace, "AgileVPN::disconnect");
    if (!connection_)
        return;
    checkWindowsError("RasHangUp", hangUp(std::exchange(connection_, nullptr)));
}

// RasHangUpW returns while the connection is still closing. Until it is
// gone its entry cannot be deleted or dialed again, and a process that ends
// meanwhile may leave it open, so the hang-up waits, within a bound, until
// the status query no longer knows the handle.
unsigned long AgileVPN::hangUp(HRASCONN__* connection)
{
    const DWORD result = RasHangUpW(connection);
    if (result != 0)
        return result;
    const ULONGLONG deadline = GetTickCount64() + hangUpLimitMs;
    for (;;) {
        RasConnStatusW7 status = {};
        status.dwSize = sizeof status;
        if (RasGetConnectStatusW(connection, reinterpret_cast<RASCONNSTATUSW*>(&status)) == ERROR_INVALID_HANDLE)
            return result;
        if (GetTickCount64() >= deadline) {
            log(LogLevel::Warning, "RasHangUp: the connection is still closing after ", hangUpLimitMs, " ms");
            return result;
        }
        Sleep(hangUpPollMs);
    }
}

void AgileVPN::deleteEntry()
{
    log(LogLevel::Trace, "AgileVPN::deleteEntry");
    const DWORD result = RasDeleteEntryW(nullptr, toWide(config.entryName).c_str());
    log(LogLevel::Info, "RasDeleteEntry() AP '", config.entryName, "' result: ", result);
}

unsigned long AgileVPN::getNetworkInterfaceIndex()
{
    log(LogLevel::Trace, "AgileVPN::getNetworkInterfaceIndex");
    // The adapter carries the entry name as its description, in the ANSI
    // code page.
    const std::string adapterName = wideToAnsi(toWide(config.entryName));
    const std::vector<BYTE> buffer = interfaceTable();
    const auto& table = *reinterpret_cast<const MIB_IFTABLE*>(buffer.data());
    DWORD index = notFound;
    for (DWORD row = 0; row < table.dwNumEntries; ++row) {
        const MIB_IFROW& entry = table.table[row];
        const auto* description = reinterpret_cast<const char*>(entry.bDescr);
        if (std::string(description, strnlen(description, sizeof entry.bDescr)) != adapterName)
            continue;
        index = entry.dwIndex;
        log(LogLevel::Info, "Our VPN network adapter index found : ", index);
    }
    if (index == notFound)
        throw std::runtime_error("Our VPN interface index not found");
    return index;
}

bool AgileVPN::status()
{
    if (!connection_)
        return false;
    RasConnStatusW7 status = {};
    status.dwSize = sizeof status;
    const DWORD result = RasGetConnectStatusW(connection_, reinterpret_cast<RASCONNSTATUSW*>(&status));
    if (result == ERROR_INVALID_HANDLE)
        connection_ = nullptr;
    checkWindowsError("RasGetConnectStatus", result);
    return status.rasconnstate == RASCS_Connected;
}

void AgileVPN::hangUpStaleConnections()
{
    DWORD size = 0;
    DWORD count = 0;
    if (RasEnumConnectionsW(nullptr, &size, &count) == ERROR_RAS_BUFFER_TOO_SMALL) {
        std::vector<BYTE> buffer(std::max<DWORD>(size, sizeof(RasConnW7)));
        auto* connections = reinterpret_cast<RasConnW7*>(buffer.data());
        connections[0].dwSize = sizeof(RasConnW7);
        const std::wstring name = toWide(config.entryName);
        if (RasEnumConnectionsW(reinterpret_cast<RASCONNW*>(connections), &size, &count) == 0) {
            const DWORD fits = static_cast<DWORD>(buffer.size() / sizeof(RasConnW7));
            for (DWORD i = 0; i < count && i < fits; ++i) {
                if (name != connections[i].szEntryName)
                    continue;
                const DWORD result = hangUp(connections[i].hrasconn);
                log(LogLevel::Info, "RasHangUp AP '", config.entryName, "' result: ", result);
            }
        }
    }
    deleteEntry();
}
