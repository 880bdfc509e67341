#include "ServiceCommands.h"

#include "LogRecord.h"
#include "ServiceName.h"
#include "WindowsErrorText.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr DWORD modulePathLength = 260;
constexpr ULONGLONG stopTimeoutMs = 30000;

// One tenth of the service's own estimate, within sensible bounds.
DWORD pollingInterval(DWORD waitHint)
{
    return std::clamp<DWORD>(waitHint / 10, 1000, 10000);
}

void logFailure(const char* what)
{
    log(LogLevel::Error, what, windowsErrorText(GetLastError()));
}

ServiceHandle openService(SC_HANDLE manager, DWORD access)
{
    ServiceHandle service(OpenServiceW(manager, serviceName, access));
    if (!service)
        logFailure("OpenService() failed: ");
    return service;
}

bool queryStatus(SC_HANDLE service, SERVICE_STATUS_PROCESS& status)
{
    DWORD needed = 0;
    if (QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                             &needed))
        return true;
    logFailure("QueryServiceStatusEx() failed: ");
    return false;
}

// SERVICE_STATUS is the leading part of SERVICE_STATUS_PROCESS, so the
// control's answer lands in the same record the queries fill.
bool sendStop(SC_HANDLE service, SERVICE_STATUS_PROCESS& status)
{
    if (ControlService(service, SERVICE_CONTROL_STOP, reinterpret_cast<SERVICE_STATUS*>(&status)))
        return true;
    logFailure("ControlService() failed: ");
    return false;
}

// The path in double quotes: unquoted, a path with spaces would let a
// program at a shorter prefix of it run as LocalSystem.
bool quotedModulePath(std::wstring& path)
{
    wchar_t buffer[modulePathLength] = {};
    if (GetModuleFileNameW(nullptr, buffer, modulePathLength) == 0) {
        logFailure("GetModuleFileName() failed: ");
        return false;
    }
    path = L"\"" + std::wstring(buffer) + L"\"";
    return true;
}

bool elapsedSince(ULONGLONG start, ULONGLONG limitMs)
{
    return GetTickCount64() - start > limitMs;
}

// Waits out a stop already under way; true when the command is finished.
bool awaitPendingStop(SC_HANDLE service, SERVICE_STATUS_PROCESS& status, ULONGLONG start)
{
    while (status.dwCurrentState == SERVICE_STOP_PENDING) {
        log(LogLevel::Info, "Service stop pending...");
        Sleep(pollingInterval(status.dwWaitHint));
        if (!queryStatus(service, status))
            return true;
        if (status.dwCurrentState == SERVICE_STOPPED) {
            log(LogLevel::Info, "Service stopped successfully");
            return true;
        }
        if (elapsedSince(start, stopTimeoutMs)) {
            log(LogLevel::Error, "Service stop timed out");
            return true;
        }
    }
    return false;
}

void stopService(SC_HANDLE service, ULONGLONG start)
{
    SERVICE_STATUS_PROCESS status = {};
    if (!queryStatus(service, status))
        return;
    if (status.dwCurrentState == SERVICE_STOPPED) {
        log(LogLevel::Info, "Service is already stopped");
        return;
    }
    if (awaitPendingStop(service, status, start) || !sendStop(service, status))
        return;
    while (status.dwCurrentState != SERVICE_STOPPED) {
        Sleep(status.dwWaitHint);
        if (!queryStatus(service, status))
            return;
        if (status.dwCurrentState == SERVICE_STOPPED)
            break;
        if (elapsedSince(start, stopTimeoutMs)) {
            log(LogLevel::Error, "Wait timed out");
            return;
        }
    }
    log(LogLevel::Info, "Service stopped successfully");
}

enum class Waited { Settled, QueryFailed, Stalled };

// Polls while the service is in the given pending state, for as long as it
// keeps advancing its check point within its own wait hint.
Waited waitWhilePending(SC_HANDLE service, SERVICE_STATUS_PROCESS& status, DWORD pendingState)
{
    ULONGLONG since = GetTickCount64();
    DWORD checkPoint = status.dwCheckPoint;
    while (status.dwCurrentState == pendingState) {
        Sleep(pollingInterval(status.dwWaitHint));
        if (!queryStatus(service, status))
            return Waited::QueryFailed;
        if (status.dwCheckPoint > checkPoint) {
            since = GetTickCount64();
            checkPoint = status.dwCheckPoint;
        } else if (elapsedSince(since, status.dwWaitHint)) {
            return Waited::Stalled;
        }
    }
    return Waited::Settled;
}

void reportStartOutcome(const SERVICE_STATUS_PROCESS& status)
{
    if (status.dwCurrentState == SERVICE_RUNNING) {
        log(LogLevel::Info, "Service started successfully");
        return;
    }
    log(LogLevel::Error, "Service not started.");
    log(LogLevel::Error, "  Current State: ", status.dwCurrentState);
    log(LogLevel::Error, "  Exit Code: ", status.dwWin32ExitCode);
    log(LogLevel::Error, "  Check Point: ", status.dwCheckPoint);
    log(LogLevel::Error, "  Wait Hint: ", status.dwWaitHint);
}

void startService(SC_HANDLE service)
{
    SERVICE_STATUS_PROCESS status = {};
    if (!queryStatus(service, status))
        return;
    if (status.dwCurrentState != SERVICE_STOPPED && status.dwCurrentState != SERVICE_STOP_PENDING) {
        log(LogLevel::Warning, "Cannot start the service because it is already running");
        return;
    }
    const Waited stopped = waitWhilePending(service, status, SERVICE_STOP_PENDING);
    if (stopped == Waited::Stalled)
        log(LogLevel::Error, "Timeout waiting for service to stop");
    if (stopped != Waited::Settled)
        return;
    if (!StartServiceW(service, 0, nullptr)) {
        logFailure("StartService() failed: ");
        return;
    }
    log(LogLevel::Info, "Service start pending...");
    if (!queryStatus(service, status))
        return;
    waitWhilePending(service, status, SERVICE_START_PENDING);
    reportStartOutcome(status);
}

} // namespace

bool OpenServiceManager(ServiceHandle& manager)
{
    log(LogLevel::Trace, "Service::OpenServiceManager");
    manager.reset(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (manager)
        return true;
    logFailure("OpenSCManager() failed: ");
    return false;
}

void SvcInstall()
{
    log(LogLevel::Trace, "Service::SvcInstall");
    std::wstring path;
    ServiceHandle manager;
    if (!quotedModulePath(path) || !OpenServiceManager(manager))
        return;
    const ServiceHandle service(CreateServiceW(manager.get(), serviceName, serviceName, SERVICE_ALL_ACCESS,
                                               SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                               path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    if (service)
        log(LogLevel::Info, "Service installed successfully");
    else
        logFailure("CreateService() failed: ");
}

void DoStartSvc()
{
    log(LogLevel::Trace, "Service::DoStartSvc");
    ServiceHandle manager;
    if (!OpenServiceManager(manager))
        return;
    const ServiceHandle service = openService(manager.get(), SERVICE_ALL_ACCESS);
    if (service)
        startService(service.get());
}

void DoStopSvc()
{
    log(LogLevel::Trace, "Service::DoStopSvc");
    const ULONGLONG start = GetTickCount64();
    ServiceHandle manager;
    if (!OpenServiceManager(manager))
        return;
    const ServiceHandle service =
        openService(manager.get(), SERVICE_STOP | SERVICE_QUERY_STATUS | SERVICE_ENUMERATE_DEPENDENTS);
    if (service)
        stopService(service.get(), start);
}

void DoDeleteSvc()
{
    log(LogLevel::Trace, "Service::DoDeleteSvc");
    ServiceHandle manager;
    if (!OpenServiceManager(manager))
        return;
    const ServiceHandle service = openService(manager.get(), DELETE);
    if (!service)
        return;
    if (DeleteService(service.get()))
        log(LogLevel::Info, "Service deleted successfully");
    else
        logFailure("DeleteService() failed: ");
}

void DoUpdate()
{
    log(LogLevel::Trace, "Service::DoUpdate");
    DoStopSvc();
    DoDeleteSvc();
    SvcInstall();
    DoStartSvc();
}

void DoHelp()
{
    log(LogLevel::Trace, "Service::DoHelp");
    std::fputs("Usage : [install | start | stop | delete | update | help]\n", stdout);
    std::fflush(stdout);
}
