#pragma once

#include <windows.h>

#include <optional>

// The status the service reports to the service control manager, and the
// check-point counter behind it. Not thread-safe: its user serialises it.
class ServiceStatusRecord {
public:
    ServiceStatusRecord();

    // The record to report for a new state, or nothing once stopped has been
    // reported: a stop request racing with the end of the service must not
    // report the service alive again after it said it stopped.
    std::optional<SERVICE_STATUS> next(DWORD state, DWORD waitHint);

    DWORD currentState() const { return status_.dwCurrentState; }

private:
    SERVICE_STATUS status_ = {};
    DWORD checkPoint_ = 1;
    bool stopped_ = false;
};
