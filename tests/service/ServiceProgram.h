#pragma once

#include <windows.h>

#include <string>

// The service program beside this test program, as an administrator runs it
// from a command line, and the service it manages as the service control
// manager sees it.

struct ProgramRun {
    unsigned long exitCode = 0;
    std::string output;
};

std::wstring serviceProgramPath();
// Runs the service program with the given argument text and waits for it.
ProgramRun runServiceProgram(const std::wstring& arguments);

// The installed service's status; false when it is not installed.
bool queryService(SERVICE_STATUS_PROCESS& status);
// Its registered binary path, or "" when it is not installed.
std::wstring serviceBinaryPath();
