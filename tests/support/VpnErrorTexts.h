#pragma once

#include "ZeravVPN.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

// Every error text the library has queued, oldest first; the queue is empty
// afterwards.
inline std::vector<std::string> vpnErrorTexts()
{
    std::vector<std::string> texts;
    char buffer[1024];
    while (ZeravVPN_errorText(buffer, sizeof buffer))
        texts.emplace_back(buffer);
    return texts;
}

// A Windows error as the library words it: what, code, the system's text,
// or the code alone when the system has no text for it.
inline std::string windowsText(const std::string& what, DWORD code)
{
    char* text = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   code, MAKELANGID(LANG_ENGLISH, SUBLANG_NEUTRAL), reinterpret_cast<char*>(&text), 0, nullptr);
    // The dialer's codes have no system text (Windows keeps them apart).
    std::string message = text ? what + ": " + std::to_string(code) + " " + text
                               : what + ": Windows error code " + std::to_string(code);
    LocalFree(text);
    std::replace(message.begin(), message.end(), '\r', ' ');
    std::replace(message.begin(), message.end(), '\n', ' ');
    return message;
}
