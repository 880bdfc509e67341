#include "ConnectionWorkers.h"

#include "AgileVPN.h"
#include "DialFailed.h"
#include "LibraryMutexes.h"
#include "LogRecord.h"
#include "NamedMutex.h"
#include "ServiceClient.h"
#include "ServiceStarter.h"
#include "VPN.h"
#include "WorkerThread.h"

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

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

// Texts of the errors a worker caught, queued only once the VPN mutex is
// released: the two library mutexes are never held together.
using CaughtErrors = std::vector<std::string>;

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

// A bad argument is refused before anything is touched, so that a host's
// mistake cannot take down the connection an earlier connect made.
void checkRequest(const ConnectRequest& request)
{
    if (!request.serverGiven)
        throw std::invalid_argument("Null pointer passed as server address");
    AgileVPN::checkServerAddress(request.server);
}

bool dialAndLock(const ConnectRequest& request)
{
    AgileVPN& vpn = AgileVPN::instance();
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
void tearDown(CaughtErrors& errors)
{
    try {
        AgileVPN& vpn = AgileVPN::instance();
        vpn.disconnect();
        vpn.deleteEntry();
    } catch (const std::exception& e) {
        errors.push_back(e.what());
    }
}

// The connect and, when it fails, its teardown, in one hold of the VPN
// mutex: the next worker cannot create its entry or dial before this one
// has cleaned up. A connection that was up before this worker started is
// not its own and stays.
bool connectLocked(const ConnectRequest& request, CaughtErrors& errors)
{
    const NamedMutex::Lock lock(vpnMutex());
    const bool hadConnection = AgileVPN::instance().hasConnection();
    try {
        if (dialAndLock(request))
            return true;
    } catch (const DialFailed& e) {
        errors.push_back(e.what());
        if (!e.reason().empty())
            errors.push_back(e.reason());
    } catch (const std::exception& e) {
        errors.push_back(e.what());
    }
    if (!hadConnection)
        tearDown(errors);
    return false;
}

// Everything of a connect before its callback. Whatever this throws, even
// while reporting, the host still hears of the connect exactly once.
bool connectOutcome(const ConnectRequest& request) noexcept
{
    try {
        const auto start = Clock::now();
        CaughtErrors errors;
        bool connected = false;
        try {
            checkRequest(request);
            connected = connectLocked(request, errors);
        } catch (const std::exception& e) {
            errors.push_back(e.what());
        }
        for (const auto& text : errors)
            VPN::instance().reportError(text);
        std::this_thread::sleep_until(start + minimumConnectDuration);
        if (connected)
            log(LogLevel::Trace, "VPN server ", request.server, " connected");
        else
            log(LogLevel::Warning, "VPN server ", request.server, " NOT connected");
        return connected;
    } catch (...) {
        return false;
    }
}

void connectWorker(const ConnectRequest& request)
{
    request.callback(connectOutcome(request));
    log(LogLevel::Trace, "Async connect() done");
}

bool disconnectLocked()
{
    const NamedMutex::Lock lock(vpnMutex());
    log(LogLevel::Trace, "Async disconnect() started");
    AgileVPN& vpn = AgileVPN::instance();
    vpn.disconnect();
    vpn.deleteEntry();
    log(LogLevel::Info, "Ask service to unlock DNS leaks...");
    const bool unlocked = sendServiceCommand(SERVICE_COMMAND_UNLOCK_DNS_LEAKS) == SERVICE_REPLY_OK;
    log(LogLevel::Info, "Service performs unlock DNS leaks. Result : ", word(unlocked));
    return unlocked;
}

bool disconnectOutcome() noexcept
{
    try {
        bool disconnected = false;
        try {
            disconnected = disconnectLocked();
        } catch (const std::exception& e) {
            VPN::instance().reportError(e.what());
        }
        log(LogLevel::Trace, "VPN disconnected");
        return disconnected;
    } catch (...) {
        return false;
    }
}

void disconnectWorker(ZeravVPN_ResultCallback callback)
{
    callback(disconnectOutcome());
    log(LogLevel::Trace, "Async disconnect() done");
}

// Nobody joins a worker. When no thread can be had, the host still hears of
// the failure once, with its text queued, on its own thread.
void startWorker(ZeravVPN_ResultCallback callback, std::function<void()> work)
{
    if (callback == nullptr) {
        VPN::instance().reportError("Null pointer passed as result callback");
        return;
    }
    try {
        startWorkerThread(std::move(work));
    } catch (const std::exception& e) {
        VPN::instance().reportError(e.what());
        callback(false);
    }
}

} // namespace

void startConnectWorker(const char* server, bool ensureService, ZeravVPN_ResultCallback callback)
{
    const ConnectRequest request{server ? server : "", server != nullptr, ensureService, callback};
    startWorker(callback, [request] { connectWorker(request); });
}

void startDisconnectWorker(ZeravVPN_ResultCallback callback)
{
    startWorker(callback, [callback] { disconnectWorker(callback); });
}
