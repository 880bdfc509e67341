#pragma once

#include "ZeravVPN.h"

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
