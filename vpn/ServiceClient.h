#pragma once

#include "ServicePipe.h"

// One complete exchange with the service over its pipe, on a connection of
// its own: sends the command and returns the reply, or raises a runtime
// error that says what failed. Nothing is sent unless the pipe's server is
// the service's own process.
ServiceReply sendServiceCommand(ServiceCommand command);

// The same exchange with whichever process serves the pipe's name; the
// tests of the pipe server itself speak to it so.
ServiceReply sendPipeCommand(ServiceCommand command);
