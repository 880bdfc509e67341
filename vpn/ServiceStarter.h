#pragma once

#include <string>

// Runs the service program elevated with "start", from beside the host
// program; true when it ran and exited with code 0.
bool startServiceElevated();

// Runs a program elevated and waits for it: its exit code, or the Windows
// error code when it could not be started.
unsigned long runElevated(const std::wstring& program, const std::wstring& parameters);
