#include "WindowsErrorText.h"

#include "SystemMessage.h"

std::string windowsErrorText(unsigned long code)
{
    const auto text = systemMessage(code);
    if (!text)
        return "Windows error code " + std::to_string(code);
    return flattenLineBreaks(*text + " (" + std::to_string(code) + ")");
}
