#pragma once

#include <string>

using CommandHandler = void (*)();

// The handler of a command-line argument, looked up exactly and
// case-sensitively; null for anything that is not a command.
CommandHandler findCommand(const std::wstring& argument);
