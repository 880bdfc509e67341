#include "StringConversion.h"

#include <windows.h>

#include <stdexcept>

namespace {

std::wstring multiByteToWide(UINT codePage, DWORD flags, const std::string& text, const char* failure)
{
    if (text.empty())
        return {};
    const int size = MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (size <= 0)
        throw std::runtime_error(failure);
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

} // namespace

std::wstring toWide(const std::string& utf8)
{
    return multiByteToWide(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, "Invalid UTF-8 text");
}

std::wstring ansiToWide(const std::string& ansi)
{
    return multiByteToWide(CP_ACP, 0, ansi, "Invalid text in the ANSI code page");
}

namespace {

std::string wideToMultiByte(UINT codePage, const std::wstring& wide)
{
    if (wide.empty())
        return {};
    const int size =
        WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return {};
    std::string text(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size, nullptr, nullptr);
    return text;
}

} // namespace

std::string toUtf8(const std::wstring& wide)
{
    return wideToMultiByte(CP_UTF8, wide);
}

std::string wideToAnsi(const std::wstring& wide)
{
    return wideToMultiByte(CP_ACP, wide);
}
