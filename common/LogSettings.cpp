#include "LogSettings.h"

#include <windows.h>

#include <atomic>

namespace {

std::shared_ptr<const LogSettings> makeDefault()
{
    auto settings = std::make_shared<LogSettings>();
    settings->path = LogSettings::defaultPath();
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
    settings->level = level;
    settings->enabled = enabled;
    std::atomic_store(&slot(), std::shared_ptr<const LogSettings>(std::move(settings)));
}
