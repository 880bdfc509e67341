#include "CommandExecution.h"

#include "LogRecord.h"

namespace {

ServiceReply okOrFail(bool done)
{
    return done ? SERVICE_REPLY_OK : SERVICE_REPLY_FAIL;
}

ServiceReply replyTo(std::int32_t command, const LibraryCalls& library)
{
    switch (command) {
    case SERVICE_COMMAND_PING: return SERVICE_REPLY_OK;
    case SERVICE_COMMAND_LOCK_DNS_LEAKS: return okOrFail(library.lockDnsLeaks());
    case SERVICE_COMMAND_UNLOCK_DNS_LEAKS: return okOrFail(library.unlockDnsLeaks());
    default: return SERVICE_REPLY_UNKNOWN_COMMAND;
    }
}

} // namespace

ServiceReply executeCommand(std::int32_t command, const LibraryCalls& library)
{
    log(LogLevel::Info, "Executing command ", serviceCommandName(command), "...");
    const ServiceReply reply = replyTo(command, library);
    log(LogLevel::Info, "Service seply: ", serviceReplyName(reply));
    return reply;
}
