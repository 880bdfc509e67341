#pragma once

#include "ServiceExit.h"

#include <windows.h>

#include <optional>

// The status the service reports to the service control manager, and the
// check-point counter behind it. Not thread-safe: its user serialises it.
class ServiceStatusRecord {
public:
    ServiceStatusRecord();

    // The record to report for a new state, or nothing once stopped has been
    // reported: a stop request racing with the end of the service must not
    // report the service alive again after it said it stopped. The exit
    // tells why the service stopped; it counts only with the stopped state.
    std::optional<SERVICE_STATUS> next(DWORD state, DWORD waitHint, ServiceExit exit = ServiceExit::Requested);

    DWORD currentState() const { return status_.dwCurrentState; }

private:
    SERVICE_STATUS status_ = {};
    DWORD checkPoint_ = 1;
    bool stopped_ = false;
};
