#include "ServiceStatusRecord.h"

ServiceStatusRecord::ServiceStatusRecord()
{
    status_.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
}

std::optional<SERVICE_STATUS> ServiceStatusRecord::next(DWORD state, DWORD waitHint, ServiceExit exit)
{
    if (stopped_)
        return std::nullopt;
    const bool failed = state == SERVICE_STOPPED && exit != ServiceExit::Requested;
    status_.dwCurrentState = state;
    status_.dwWin32ExitCode = failed ? ERROR_SERVICE_SPECIFIC_ERROR : NO_ERROR;
    status_.dwServiceSpecificExitCode = failed ? static_cast<DWORD>(exit) : 0;
    status_.dwWaitHint = waitHint;
    status_.dwControlsAccepted = state == SERVICE_START_PENDING ? 0 : SERVICE_ACCEPT_STOP;
    const bool settled = state == SERVICE_RUNNING || state == SERVICE_STOPPED;
    status_.dwCheckPoint = settled ? 0 : checkPoint_++;
    stopped_ = state == SERVICE_STOPPED;
    return status_;
}
