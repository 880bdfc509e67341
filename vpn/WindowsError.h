#pragma once

#include <cstdint>
#include <string>

// The text checkWindowsError raises for a code: the what-text, the code and
// the system's English text for it.
std::string windowsErrorMessage(const char* what, std::uint32_t code);

// Returns when code equals accepted; otherwise raises a runtime error whose
// text is the what-text, the code and the system's English text for it.
void checkWindowsError(const char* what, std::uint32_t code, std::uint32_t accepted = 0);
