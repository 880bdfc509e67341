#pragma once

#include <windows.h>

// Why the service stopped. Anything but a requested stop is reported as
// ERROR_SERVICE_SPECIFIC_ERROR with this value as the service-specific exit
// code, so that the service control manager counts it as a failure and runs
// the recovery actions configured for the service.
enum class ServiceExit : DWORD {
    // Stopped on request (Win32 exit code NO_ERROR).
    Requested = 0,
    // The pipe server could not start: an event or the pipe could not be
    // created, for instance because another process holds the pipe's name.
    NotStarted = 1,
    // The pipe server gave up while serving: a failed wait, a listen that
    // ended in an error, a pipe state it does not know, or pipe I/O that
    // would not be cancelled.
    Failed = 2,
};
