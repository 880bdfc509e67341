#include "ConnectionWorkers.h"

#include "AgileVPN.h"
#include "LibraryMutexes.h"
#include "LogRecord.h"
#include "NamedMutex.h"
#include "ServiceClient.h"
#include "ServiceStarter.h"
#include "VPN.h"

#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// However fast a connect is, the host hears of it no sooner than this.
constexpr auto minimumConnectDuration = std::chrono::milliseconds(2100);

struct ConnectRequest {
    std::string server;
    bool serverGiven;
    bool ensureService;
    ZeravVPN_ResultCallback callback;
};

const char* word(bool value)
{
    return value ? "true" : "false";
}

bool serviceAnswers()
{
    try {
        return sendServiceCommand(SERVICE_COMMAND_PING) == SERVICE_REPLY_OK;
    } catch (const std::exception& e) {
        log(LogLevel::Error, "Exception: ", e.what());
        return false;
    }
}

// The locked phase of a connect: service, dial, DNS lock.
bool connectLocked(const ConnectRequest& request)
{
    AgileVPN& vpn = AgileVPN::instance();
    if (!request.serverGiven)
        throw std::invalid_argument("Null pointer passed as server address");
    NamedMutex::Lock lock(vpnMutex());
    if (request.ensureService && !serviceAnswers()) {
        log(LogLevel::Trace, "Trying to start service ...");
        startServiceElevated();
    }
    log(LogLevel::Trace, "Connecting to VPN server ", request.server, "...");
    vpn.createEntry(request.server);
    if (!vpn.connect())
        return false;
    log(LogLevel::Info, "Ask service to lock DNS leaks ...");
    const bool locked = sendServiceCommand(SERVICE_COMMAND_LOCK_DNS_LEAKS) == SERVICE_REPLY_OK;
    log(LogLevel::Info, "Service performs lock DNS leaks. Result : ", word(locked));
    return locked;
}

// A failed connect leaves neither connection nor entry behind. An error here
// is reported like any other and does not keep the host from its callback.
void tearDown()
{
    try {
        AgileVPN& vpn = AgileVPN::instance();
        vpn.disconnect();
        vpn.deleteEntry();
    } catch (const std::exception& e) {
        VPN::instance().reportError(e.what());
    }
}

void connectWorker(std::unique_ptr<ConnectRequest> request)
{
    const auto start = Clock::now();
    bool connected = false;
    try {
        connected = connectLocked(*request);
    } catch (const std::exception& e) {
        VPN::instance().reportError(e.what());
    }
    if (!connected)
        tearDown();
    std::this_thread::sleep_until(start + minimumConnectDuration);
    if (connected)
        log(LogLevel::Trace, "VPN server ", request->server, " connected");
    else
        log(LogLevel::Warning, "VPN server ", request->server, " NOT connected");
    request->callback(connected);
    log(LogLevel::Trace, "Async connect() done");
}

bool disconnectLocked()
{
    NamedMutex::Lock lock(vpnMutex());
    log(LogLevel::Trace, "Async disconnect() started");
    AgileVPN& vpn = AgileVPN::instance();
    vpn.disconnect();
    vpn.deleteEntry();
    log(LogLevel::Info, "Ask service to unlock DNS leaks...");
    const bool unlocked = sendServiceCommand(SERVICE_COMMAND_UNLOCK_DNS_LEAKS) == SERVICE_REPLY_OK;
    log(LogLevel::Info, "Service performs unlock DNS leaks. Result : ", word(unlocked));
    return unlocked;
}

void disconnectWorker(ZeravVPN_ResultCallback callback)
{
    bool disconnected = false;
    try {
        disconnected = disconnectLocked();
    } catch (const std::exception& e) {
        VPN::instance().reportError(e.what());
    }
    log(LogLevel::Trace, "VPN disconnected");
    callback(disconnected);
    log(LogLevel::Trace, "Async disconnect() done");
}

// Nobody joins a worker. When no thread can be had, the host still hears of
// the failure once, with its text queued.
template <typename Worker, typename... Arguments>
void startDetached(ZeravVPN_ResultCallback callback, Worker worker, Arguments&&... arguments)
{
    if (callback == nullptr) {
        VPN::instance().reportError("Null pointer passed as result callback");
        return;
    }
    try {
        std::thread(worker, std::forward<Arguments>(arguments)...).detach();
    } catch (const std::exception& e) {
        VPN::instance().reportError(e.what());
        callback(false);
    }
}

} // namespace

void startConnectWorker(const char* server, bool ensureService, ZeravVPN_ResultCallback callback)
{
    auto request = std::make_unique<ConnectRequest>(
        ConnectRequest{server ? server : "", server != nullptr, ensureService, callback});
    startDetached(callback, connectWorker, std::move(request));
}

void startDisconnectWorker(ZeravVPN_ResultCallback callback)
{
    startDetached(callback, disconnectWorker, callback);
}
