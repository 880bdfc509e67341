#pragma once

#include <string>

// The service program's text for a Windows error code, appended to each of
// its "failed: " messages: the system's English text followed by the code in
// parentheses, on one line, or "Windows error code N" when the system has no
// text for it.
std::string windowsErrorText(unsigned long code);
