#include "Utils.h"

#include "LogRecord.h"
#include "UniqueHandle.h"

#include <vector>

namespace Utils {

bool isCurrentProcessElevated()
{
    log(LogLevel::Trace, "Utils::isCurrentProcessElevated");
    bool elevated = false;
    TokenHandle token;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) {
        TOKEN_ELEVATION elevation = {};
        DWORD size = 0;
        elevated = GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size) &&
                   elevation.TokenIsElevated != 0;
    }
    log(LogLevel::Info, "Current process is ", elevated ? "" : "not ", "elevated");
    return elevated;
}

// A path longer than MAX_PATH is read whole rather than cut off.
std::wstring executablePath()
{
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return {};
        if (length < buffer.size())
            return std::wstring(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace Utils
