#pragma once

#include "LibraryCalls.h"
#include "ServicePipe.h"

#include <cstdint>

// Runs one pipe command and gives its reply. Anything but PING and the two
// DNS commands, 0 included, is answered as unknown.
ServiceReply executeCommand(std::int32_t command, const LibraryCalls& library);
