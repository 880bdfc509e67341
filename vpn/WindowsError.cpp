#include "WindowsError.h"

#include "SystemMessage.h"

#include <stdexcept>
#include <string>

std::string windowsErrorMessage(const char* what, std::uint32_t code)
{
    const std::string prefix = std::string(what) + ": ";
    if (const auto text = systemMessage(code))
        return flattenLineBreaks(prefix + std::to_string(code) + " " + *text);
    return prefix + "Windows error code " + std::to_string(code);
}

void checkWindowsError(const char* what, std::uint32_t code, std::uint32_t accepted)
{
    if (code != accepted)
        throw std::runtime_error(windowsErrorMessage(what, code));
}
