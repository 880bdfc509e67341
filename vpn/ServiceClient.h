#pragma once

#include "ServicePipe.h"

// One complete exchange with the service over its pipe, on a connection of
// its own: sends the command and returns the reply, or raises a runtime
// error that says what failed.
ServiceReply sendServiceCommand(ServiceCommand command);
