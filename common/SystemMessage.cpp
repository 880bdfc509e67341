#include "SystemMessage.h"

#include "UniqueHandle.h"

#include <algorithm>

std::optional<std::string> systemMessage(std::uint32_t code)
{
    char* text = nullptr;
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
                       nullptr, code, MAKELANGID(LANG_ENGLISH, SUBLANG_NEUTRAL), reinterpret_cast<char*>(&text), 0,
                       nullptr);
    const LocalMemory owner(text);
    if (length == 0 || text == nullptr)
        return std::nullopt;
    return std::string(text, length);
}

std::string flattenLineBreaks(std::string text)
{
    std::replace_if(text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
    return text;
}
