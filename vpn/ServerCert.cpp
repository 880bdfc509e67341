#include "ServerCert.h"

#include "LogRecord.h"
#include "StringConversion.h"
#include "Utils.h"
#include "WindowsError.h"

#include <windows.h>
#include <shellapi.h>

#include <stdexcept>
#include <vector>

namespace {

std::string besideExecutable(const std::string& fileName)
{
    const std::string program = toUtf8(Utils::executablePath());
    const size_t separator = program.find_last_of("\\/");
    if (separator == std::string::npos)
        return fileName;
    return program.substr(0, separator) + "\\" + fileName;
}

// The system's own certutil, by its full path: a bare name would also find
// a certutil.exe planted in the current or the program's folder, and run it
// elevated.
std::wstring systemCertutil()
{
    std::vector<wchar_t> directory(MAX_PATH);
    UINT length = GetSystemDirectoryW(directory.data(), static_cast<UINT>(directory.size()));
    if (length >= directory.size()) {
        directory.resize(length);
        length = GetSystemDirectoryW(directory.data(), static_cast<UINT>(directory.size()));
    }
    if (length == 0 || length >= directory.size())
        checkWindowsError("GetSystemDirectory", length == 0 ? GetLastError() : ERROR_INSUFFICIENT_BUFFER);
    return std::wstring(directory.data(), length) + L"\\certutil.exe";
}

// Runs certutil without waiting for it; elevation is asked for only when
// this process does not have it already.
void runCertutil(const std::string& parameters)
{
    const wchar_t* verb = Utils::isCurrentProcessElevated() ? nullptr : L"runas";
    const std::wstring wideParameters = toWide(parameters);
    const std::wstring certutil = systemCertutil();
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, verb, certutil.c_str(), wideParameters.c_str(), nullptr, SW_HIDE));
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
