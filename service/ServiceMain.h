#pragma once

#include <windows.h>

// The service main function the dispatcher runs on the service's own
// thread; it returns when the service has stopped.
void WINAPI SvcMain(DWORD argc, LPWSTR* argv);
