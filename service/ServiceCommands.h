#pragma once

#include "UniqueHandle.h"

// The management commands of the program's command line. Each reports only
// through the log: the program exits with 0 whatever happened, and whoever
// ran it learns the outcome from the service itself.

// The local service control manager with full access; false (logged) when
// it cannot be opened, typically for lack of administrative rights.
bool OpenServiceManager(ServiceHandle& manager);

void SvcInstall();
void DoStartSvc();
void DoStopSvc();
void DoDeleteSvc();
void DoUpdate();
void DoHelp();
