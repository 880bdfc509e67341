#include "CommandTable.h"
#include "ServiceCommands.h"

#include <gtest/gtest.h>

namespace {

struct Lookup {
    const wchar_t* argument;
    CommandHandler handler;
};

TEST(CommandTable, FindsEachCommandByItsExactName)
{
    const Lookup table[] = {
        {L"stop", DoStopSvc},     {L"delete", DoDeleteSvc}, {L"install", SvcInstall}, {L"start", DoStartSvc},
        {L"update", DoUpdate},    {L"help", DoHelp},        {L"?", DoHelp},
        {L"Start", nullptr},      {L"STOP", nullptr},       {L"", nullptr},           {L"stop now", nullptr},
        {L"-install", nullptr},   {L"/?", nullptr},         {L"helps", nullptr},
    };
    for (const Lookup& lookup : table)
        EXPECT_EQ(findCommand(lookup.argument), lookup.handler) << static_cast<int>(wcslen(lookup.argument));
}

} // namespace
