#include "ServiceStatusRecord.h"

ServiceStatusRecord::ServiceStatusRecord()
{
    status_.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status_.dwServiceSpecificExitCode = 0;
}

std::optional<SERVICE_STATUS> ServiceStatusRecord::next(DWORD state, DWORD waitHint)
{
    if (stopped_)
        return std::nullopt;
    status_.dwCurrentState = state;
    status_.dwWin32ExitCode = NO_ERROR;
    status_.dwWaitHint = waitHint;
    status_.dwControlsAccepted = state == SERVICE_START_PENDING ? 0 : SERVICE_ACCEPT_STOP;
    const bool settled = state == SERVICE_RUNNING || state == SERVICE_STOPPED;
    status_.dwCheckPoint = settled ? 0 : checkPoint_++;
    stopped_ = state == SERVICE_STOPPED;
    return status_;
}
