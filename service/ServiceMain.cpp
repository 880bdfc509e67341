#include "ServiceMain.h"

#include "LogRecord.h"
#include "PipeServer.h"
#include "ServiceName.h"
#include "ServiceStatusRecord.h"
#include "UniqueHandle.h"
#include "WindowsErrorText.h"
#include "ZeravVPN.h"

#include <mutex>

namespace {

constexpr DWORD startWaitHintMs = 3000;

SERVICE_STATUS_HANDLE statusHandle = nullptr;

// The control handler (main thread) and the service thread both report;
// the lock keeps their reports in the order in which they were decided, and
// the record drops any report that would follow stopped.
std::mutex statusMutex;
ServiceStatusRecord statusRecord;

// Set by the control handler to end the pipe server. It lives as long as the
// process: the handler may still run after the service thread is done.
EventHandle terminateEvent;

void ReportSvcStatus(DWORD state, DWORD waitHint, ServiceExit exit = ServiceExit::Requested)
{
    log(LogLevel::Trace, "Service::ReportSvcStatus");
    const std::lock_guard<std::mutex> lock(statusMutex);
    const auto status = statusRecord.next(state, waitHint, exit);
    if (status) {
        SERVICE_STATUS report = *status;
        SetServiceStatus(statusHandle, &report);
    }
}

DWORD currentState()
{
    const std::lock_guard<std::mutex> lock(statusMutex);
    return statusRecord.currentState();
}

void WINAPI SvcCtrlHandler(DWORD control)
{
    log(LogLevel::Trace, "Service::SvcCtrlHandler");
    if (control != SERVICE_CONTROL_STOP)
        return;
    ReportSvcStatus(SERVICE_STOP_PENDING, 0);
    SetEvent(terminateEvent.get());
    ReportSvcStatus(currentState(), 0);
}

LibraryCalls vpnLibrary()
{
    return LibraryCalls{ZeravVPN_lock_DNS_leaks, ZeravVPN_unlock_DNS_leaks, ZeravVPN_cleanup};
}

// Created under the status lock, which the control handler takes before it
// sets the event, so the handler never sees it half made.
bool createTerminateEvent()
{
    const std::lock_guard<std::mutex> lock(statusMutex);
    terminateEvent.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    return terminateEvent.valid();
}

ServiceExit SvcInit()
{
    log(LogLevel::Trace, "Service::SvcInit");
    if (!createTerminateEvent())
        return ServiceExit::NotStarted;
    ReportSvcStatus(SERVICE_RUNNING, 0);
    return runPipeServer(terminateEvent.get(), vpnLibrary());
}

} // namespace

void WINAPI SvcMain(DWORD, LPWSTR*)
{
    log(LogLevel::Trace, "Service::SvcMain");
    statusHandle = RegisterServiceCtrlHandlerW(serviceName, SvcCtrlHandler);
    if (statusHandle == nullptr) {
        log(LogLevel::Error, "RegisterServiceCtrlHandler() failed: ", windowsErrorText(GetLastError()));
        return;
    }
    ReportSvcStatus(SERVICE_START_PENDING, startWaitHintMs);
    const ServiceExit exit = SvcInit();
    if (exit != ServiceExit::Requested)
        log(LogLevel::Error, "Service stops on a failure, service-specific exit code ", static_cast<DWORD>(exit));
    ReportSvcStatus(SERVICE_STOPPED, 0, exit);
}
