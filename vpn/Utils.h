#pragma once

#include <string>

namespace Utils {

// Whether this process runs with an elevated token.
bool isCurrentProcessElevated();

// The full path of the process's executable (the host program, not this
// library); empty when it cannot be read.
std::wstring executablePath();

} // namespace Utils
