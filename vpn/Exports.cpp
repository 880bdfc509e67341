#include "ZeravVPN.h"

#include "AgileVPN.h"
#include "ConnectionWorkers.h"
#include "Firewall.h"
#include "LibraryMutexes.h"
#include "LogRecord.h"
#include "LogSettings.h"
#include "NamedMutex.h"
#include "ServerCert.h"
#include "VPN.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <string>

namespace {

// The common frame of an export: its Trace record, the VPN mutex around the
// work, and every error turned into a queued text and a false result. The
// mutex is released before the error is queued, so the two locks are never
// held together.
template <typename Work>
bool runLocked(const char* trace, Work&& work)
{
    VPN::instance();
    if (trace)
        log(LogLevel::Trace, trace);
    try {
        NamedMutex::Lock lock(vpnMutex());
        return work();
    } catch (const std::exception& e) {
        VPN::instance().reportError(e.what());
        return false;
    }
}

std::string text(const char* value, const char* name)
{
    if (value == nullptr)
        throw std::invalid_argument(std::string("Null pointer passed as ") + name);
    return value;
}

} // namespace

bool ZeravVPN_initLogging(const char* logFilePath, int level, bool enabled)
{
    return runLocked("VPN::initLogging", [&] {
        LogSettings::replace(text(logFilePath, "log file path"), level, enabled);
        return true;
    });
}

void ZeravVPN_setService(bool service)
{
    // Before the frame takes the lock: a service starting while a host's
    // connect holds the shared mutex (and waits for that very service) must
    // not wait for it.
    if (service) {
        try {
            vpnMutex().makePrivate();
            errorListMutex().makePrivate();
        } catch (const std::exception& e) {
            VPN::instance().reportError(e.what());
        }
    }
    runLocked("VPN::setService", [&] {
        VPN::instance().serviceFlag = service;
        return true;
    });
}

bool ZeravVPN_setConfig(const char* entryName, const char* userName, const char* password,
                        const char* serviceDirectory, const char* serviceFileName, int timeoutMs)
{
    return runLocked("VPN::setConfig", [&] {
        const std::string entry = text(entryName, "entry name");
        const std::string user = text(userName, "user name");
        const std::string secret = text(password, "password");
        const std::string directory = text(serviceDirectory, "service directory");
        const std::string file = text(serviceFileName, "service file name");
        AgileVPN::checkDialNames(entry, user, secret);
        AgileVPN::instance().config.set(entry, user, secret, directory, file, timeoutMs);
        return true;
    });
}

bool ZeravVPN_install(void)
{
    return runLocked("VPN::install", [] {
        Firewall::instance().turnOffNetworkLocationWizard();
        ServerCert::instance().add("strongswanCert.der");
        return true;
    });
}

bool ZeravVPN_deinstall(void)
{
    return runLocked("VPN::deinstall", [] {
        Firewall::instance().restoreNetworkLocationWizardSetting();
        ServerCert::instance().remove("Zerav Mobile Root CA");
        return true;
    });
}

void ZeravVPN_connect(const char* server, bool ensureService, ZeravVPN_ResultCallback callback)
{
    VPN::instance();
    log(LogLevel::Trace, "VPN::connect");
    startConnectWorker(server, ensureService, callback);
}

void ZeravVPN_disconnect(ZeravVPN_ResultCallback callback)
{
    VPN::instance();
    log(LogLevel::Trace, "VPN::disconnect");
    startDisconnectWorker(callback);
}

bool ZeravVPN_status(void)
{
    return runLocked(nullptr, [] { return AgileVPN::instance().status(); });
}

bool ZeravVPN_lock_DNS_leaks(void)
{
    return runLocked("VPN::lock_DNS_leaks", [] {
        log(LogLevel::Info, "Locking DNS leaks ...");
        Firewall& firewall = Firewall::instance();
        firewall.flush_DNS_cache();
        firewall.lock_DNS_leaks(AgileVPN::instance().getNetworkInterfaceIndex());
        log(LogLevel::Info, "DNS leaks locked");
        return true;
    });
}

bool ZeravVPN_unlock_DNS_leaks(void)
{
    return runLocked("VPN::unlock_DNS_leaks", [] {
        log(LogLevel::Info, "Unlocking DNS leaks ...");
        Firewall& firewall = Firewall::instance();
        firewall.unlock_DNS_leaks();
        firewall.flush_DNS_cache();
        log(LogLevel::Info, "DNS leaks unlocked");
        return true;
    });
}

void ZeravVPN_cleanup(void)
{
    VPN::instance();
    log(LogLevel::Trace, "VPN::cleanup");
    ZeravVPN_unlock_DNS_leaks();
    // Under the mutex too: the hang-up reads the configured entry name,
    // which a host thread may be replacing.
    runLocked(nullptr, [] {
        AgileVPN::instance().hangUpStaleConnections();
        return true;
    });
}

bool ZeravVPN_errorText(char* buffer, uint64_t bufferSize)
{
    VPN& vpn = VPN::instance();
    if (buffer == nullptr || bufferSize == 0)
        return false;
    std::string text;
    const bool taken = vpn.popError(text, static_cast<size_t>(std::min<uint64_t>(bufferSize - 1, SIZE_MAX)));
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    return taken;
}
