#include "LogSettings.h"

#include "StringConversion.h"

#include <windows.h>

#include <atomic>
#include <stdexcept>
#include <vector>

namespace {

std::wstring fullPath(const std::wstring& path)
{
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return path;
    std::vector<wchar_t> buffer(size);
    const DWORD length = GetFullPathNameW(path.c_str(), size, buffer.data(), nullptr);
    return length > 0 && length < size ? std::wstring(buffer.data(), length) : path;
}

// A path that does not convert gives no file: its records are lost like
// those of any path that cannot be opened.
std::wstring extendedLengthPath(const std::string& ansiPath)
{
    std::wstring path;
    try {
        path = fullPath(ansiToWide(ansiPath));
    } catch (const std::runtime_error&) {
        return {};
    }
    if (path.rfind(L"\\\\?\\", 0) == 0 || path.rfind(L"\\\\.\\", 0) == 0)
        return path;
    if (path.rfind(L"\\\\", 0) == 0)
        return L"\\\\?\\UNC\\" + path.substr(2);
    if (path.size() >= 3 && path[1] == L':')
        return L"\\\\?\\" + path;
    return path;
}

std::shared_ptr<const LogSettings> makeDefault()
{
    auto settings = std::make_shared<LogSettings>();
    settings->path = LogSettings::defaultPath();
    settings->filePath = extendedLengthPath(settings->path);
    return settings;
}

std::shared_ptr<const LogSettings>& slot()
{
    static std::shared_ptr<const LogSettings> settings = makeDefault();
    return settings;
}

} // namespace

std::string LogSettings::defaultPath()
{
    char directory[261] = {};
    const DWORD length = GetTempPathA(sizeof directory, directory);
    const std::string temp = length > 0 && length < sizeof directory ? std::string(directory, length) : std::string();
    return temp + "\\zerav_vpn.log";
}

std::shared_ptr<const LogSettings> LogSettings::current()
{
    return std::atomic_load(&slot());
}

void LogSettings::replace(const std::string& path, int level, bool enabled)
{
    auto settings = std::make_shared<LogSettings>(*current());
    settings->path = path;
    settings->filePath = extendedLengthPath(path);
    settings->level = level;
    settings->enabled = enabled;
    std::atomic_store(&slot(), std::shared_ptr<const LogSettings>(std::move(settings)));
}
