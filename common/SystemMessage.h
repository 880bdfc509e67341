#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The system's English text for a Windows error code, or nothing when the
// system has none.
std::optional<std::string> systemMessage(std::uint32_t code);

// Every line feed and carriage return becomes a space, so a message fits on
// one log line.
std::string flattenLineBreaks(std::string text);
