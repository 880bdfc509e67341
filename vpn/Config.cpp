#include "Config.h"

#include "LogRecord.h"

Config::Config()
{
    log(LogLevel::Trace, "Config::Config");
}

Config::~Config()
{
    log(LogLevel::Trace, "Config::~Config");
}

void Config::set(const std::string& newEntryName, const std::string& newUserName, const std::string& newPassword,
                 const std::string& newServiceDirectory, const std::string& newServiceFileName, int newTimeoutMs)
{
    log(LogLevel::Trace, "Config::set");
    entryName = newEntryName;
    userName = newUserName;
    password = newPassword;
    serviceDirectory = newServiceDirectory;
    serviceFileName = newServiceFileName;
    timeoutMs = newTimeoutMs;
}
