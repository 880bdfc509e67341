#include "ServerCert.h"

#include "LogRecord.h"
#include "StringConversion.h"
#include "Utils.h"
#include "WindowsError.h"

#include <windows.h>
#include <shellapi.h>

#include <stdexcept>

namespace {

std::string besideExecutable(const std::string& fileName)
{
    const std::string program = toUtf8(Utils::executablePath());
    const size_t separator = program.find_last_of("\\/");
    if (separator == std::string::npos)
        return fileName;
    return program.substr(0, separator) + "\\" + fileName;
}

// Runs certutil without waiting for it; elevation is asked for only when
// this process does not have it already.
void runCertutil(const std::string& parameters)
{
    const wchar_t* verb = Utils::isCurrentProcessElevated() ? nullptr : L"runas";
    const std::wstring wideParameters = toWide(parameters);
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, verb, L"certutil", wideParameters.c_str(), nullptr, SW_HIDE));
    // Any value up to 32 is a failure. A 0 would pass the error check as
    // success, and its system text says so, so it gets the shell's own words.
    if (result == 0)
        throw std::runtime_error("ShellExecute certutil: 0 The operating system is out of memory or resources.");
    if (result <= 32)
        checkWindowsError("ShellExecute certutil", static_cast<DWORD>(result));
}

} // namespace

ServerCert& ServerCert::instance()
{
    static ServerCert serverCert;
    return serverCert;
}

void ServerCert::add(const std::string& fileName)
{
    log(LogLevel::Trace, "ServerCert::add");
    runCertutil("-addstore -f -enterprise -user root \"" + besideExecutable(fileName) + "\"");
    log(LogLevel::Info, "Server certificate added");
}

void ServerCert::remove(const std::string& certificateName)
{
    log(LogLevel::Trace, "ServerCert::remove");
    runCertutil("-delstore -enterprise root \"" + certificateName + "\"");
    log(LogLevel::Info, "Server certificate removed");
}
