#include "HostSteps.h"

#include "ZeravVPN.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>

namespace {

struct StepKind {
    size_t minArgs;
    size_t maxArgs;
    std::function<bool(const std::vector<std::string>&)> run;
};

HANDLE callbackDone = CreateEventW(nullptr, FALSE, FALSE, nullptr);
std::atomic<bool> callbackResult{false};

void onResult(bool success)
{
    callbackResult = success;
    SetEvent(callbackDone);
}

// Waits for the worker's callback with a progress line that shows the host
// is alive while the dial and the service take their time.
bool waitForCallback(const char* what)
{
    const ULONGLONG start = GetTickCount64();
    while (WaitForSingleObject(callbackDone, 200) == WAIT_TIMEOUT) {
        std::printf("\r  %s ... %.1f s", what, (GetTickCount64() - start) / 1000.0);
        std::fflush(stdout);
    }
    std::printf("\r  %s ... %.1f s, callback: %s\n", what, (GetTickCount64() - start) / 1000.0,
                callbackResult ? "true" : "false");
    return callbackResult;
}

// "-" takes the password from the environment, so that it need not stand
// on a command line that every local user can read.
std::string password(const std::string& argument)
{
    if (argument != "-")
        return argument;
    const char* value = std::getenv("ZERAV_VPN_PASSWORD");
    return value ? value : "";
}

bool isNumber(const std::string& text)
{
    char* end = nullptr;
    std::strtol(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0';
}

bool flag(const std::string& text, bool& value)
{
    if (text == "on" || text == "true" || text == "1")
        value = true;
    else if (text == "off" || text == "false" || text == "0")
        value = false;
    else
        return false;
    return true;
}

const std::map<std::string, StepKind>& stepKinds()
{
    static const std::map<std::string, StepKind> kinds = {
        {"log", {3, 3, [](const auto& a) { bool on = true; flag(a[2], on); return ZeravVPN_initLogging(a[0].c_str(), std::atoi(a[1].c_str()), on); }}},
        {"config", {6, 6, [](const auto& a) {
             return ZeravVPN_setConfig(a[0].c_str(), a[1].c_str(), password(a[2]).c_str(), a[3].c_str(),
                                       a[4].c_str(), std::atoi(a[5].c_str()));
         }}},
        {"service", {1, 1, [](const auto& a) { bool on = true; flag(a[0], on); ZeravVPN_setService(on); return true; }}},
        {"install", {0, 0, [](const auto&) { return ZeravVPN_install(); }}},
        {"deinstall", {0, 0, [](const auto&) { return ZeravVPN_deinstall(); }}},
        {"connect", {1, 2, [](const auto& a) {
             ZeravVPN_connect(a[0].c_str(), a.size() > 1 && a[1] == "--ensure-service", onResult);
             return waitForCallback(("connecting to " + a[0]).c_str());
         }}},
        {"disconnect", {0, 0, [](const auto&) {
             ZeravVPN_disconnect(onResult);
             return waitForCallback("disconnecting");
         }}},
        {"status", {0, 0, [](const auto&) { return ZeravVPN_status(); }}},
        {"lock", {0, 0, [](const auto&) { return ZeravVPN_lock_DNS_leaks(); }}},
        {"unlock", {0, 0, [](const auto&) { return ZeravVPN_unlock_DNS_leaks(); }}},
        {"cleanup", {0, 0, [](const auto&) { ZeravVPN_cleanup(); return true; }}},
        {"sleep", {1, 1, [](const auto& a) { Sleep(static_cast<DWORD>(std::atoi(a[0].c_str()))); return true; }}},
    };
    return kinds;
}

bool validArguments(const std::string& name, const std::vector<std::string>& args, std::string& error)
{
    bool ignored = false;
    if ((name == "log" && (!isNumber(args[1]) || !flag(args[2], ignored))) ||
        (name == "config" && !isNumber(args[5])) || (name == "sleep" && !isNumber(args[0])) ||
        (name == "service" && !flag(args[0], ignored)) ||
        (name == "connect" && args.size() == 2 && args[1] != "--ensure-service")) {
        error = "Bad arguments for step '" + name + "'";
        return false;
    }
    return true;
}

void printErrorTexts()
{
    char text[2048];
    while (ZeravVPN_errorText(text, sizeof text))
        std::printf("  error: %s\n", text);
}

} // namespace

bool parseSteps(const std::vector<std::string>& args, std::vector<HostStep>& steps, std::string& error)
{
    if (args.empty()) {
        error = "No step given";
        return false;
    }
    for (size_t i = 0; i < args.size();) {
        const auto kind = stepKinds().find(args[i]);
        if (kind == stepKinds().end()) {
            error = "Unknown step '" + args[i] + "'";
            return false;
        }
        HostStep step{args[i++], {}};
        while (step.args.size() < kind->second.maxArgs && i < args.size() &&
               (step.args.size() < kind->second.minArgs || stepKinds().count(args[i]) == 0))
            step.args.push_back(args[i++]);
        if (step.args.size() < kind->second.minArgs) {
            error = "Step '" + step.name + "' needs " + std::to_string(kind->second.minArgs) + " arguments";
            return false;
        }
        if (!validArguments(step.name, step.args, error))
            return false;
        steps.push_back(std::move(step));
    }
    return true;
}

bool runStep(const HostStep& step)
{
    std::printf("> %s", step.name.c_str());
    for (size_t i = 0; i < step.args.size(); ++i)
        std::printf(" %s", step.name == "config" && i == 2 ? "********" : step.args[i].c_str());
    std::printf("\n");
    std::fflush(stdout);
    const bool ok = stepKinds().at(step.name).run(step.args);
    if (step.name == "status")
        std::printf("  connected: %s\n", ok ? "yes" : "no");
    else
        std::printf("  %s\n", ok ? "ok" : "FAILED");
    printErrorTexts();
    std::fflush(stdout);
    return ok;
}

const char* hostUsage()
{
    return "Usage: zerav_host STEP [STEP ...]\n"
           "       zerav_host --help | -h\n"
           "Steps, run in order:\n"
           "  log PATH LEVEL on|off      ZeravVPN_initLogging\n"
           "  config ENTRY USER PASSWORD SERVICE_DIR SERVICE_FILE TIMEOUT_MS\n"
           "                             ZeravVPN_setConfig; PASSWORD - reads it from the\n"
           "                             environment variable ZERAV_VPN_PASSWORD\n"
           "  service on|off             ZeravVPN_setService\n"
           "  install | deinstall        ZeravVPN_install, ZeravVPN_deinstall\n"
           "  connect SERVER [--ensure-service]\n"
           "                             ZeravVPN_connect, waits for the callback\n"
           "  disconnect                 ZeravVPN_disconnect, waits for the callback\n"
           "  status                     ZeravVPN_status (a false answer fails the step)\n"
           "  lock | unlock              ZeravVPN_lock_DNS_leaks, ZeravVPN_unlock_DNS_leaks\n"
           "  cleanup                    ZeravVPN_cleanup\n"
           "  sleep MS                   waits\n"
           "Queued error texts are printed after every step. Exit code: 0 when the last\n"
           "step succeeded, 1 when it failed, 2 for a bad command line.\n";
}
