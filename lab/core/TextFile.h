#pragma once

#include <optional>
#include <string>

namespace lab {

std::optional<std::string> readTextFile(const std::wstring& path);
void writeTextFile(const std::wstring& path, const std::string& text);

std::wstring fromUtf8(const std::string& text);
std::string toUtf8(const std::wstring& text);

}  // namespace lab
