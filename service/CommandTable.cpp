#include "CommandTable.h"

#include "ServiceCommands.h"

#include <iterator>

namespace {

struct Command {
    const wchar_t* argument;
    CommandHandler handler;
};

constexpr Command commands[] = {
    {L"stop", DoStopSvc},   {L"delete", DoDeleteSvc}, {L"install", SvcInstall}, {L"start", DoStartSvc},
    {L"update", DoUpdate},  {L"help", DoHelp},        {L"?", DoHelp},
};

} // namespace

CommandHandler findCommand(const std::wstring& argument)
{
    for (const Command& command : commands) {
        if (argument == command.argument)
            return command.handler;
    }
    return nullptr;
}
