#include "WindowsError.h"

#include "SystemMessage.h"

#include <stdexcept>
#include <string>

void checkWindowsError(const char* what, std::uint32_t code, std::uint32_t accepted)
{
    if (code == accepted)
        return;
    const std::string prefix = std::string(what) + ": ";
    if (const auto text = systemMessage(code))
        throw std::runtime_error(flattenLineBreaks(prefix + std::to_string(code) + " " + *text));
    throw std::runtime_error(prefix + "Windows error code " + std::to_string(code));
}
