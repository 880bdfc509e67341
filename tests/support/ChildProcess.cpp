#include "ChildProcess.h"

#include "StringConversion.h"
#include "UniqueHandle.h"

#include <map>
#include <stdexcept>

namespace {

std::map<std::string, ChildRole>& roles()
{
    static std::map<std::string, ChildRole> registered;
    return registered;
}

std::wstring quoted(const std::string& arg)
{
    return L"\"" + toWide(arg) + L"\"";
}

} // namespace

ChildRoleRegistration::ChildRoleRegistration(const std::string& name, ChildRole role)
{
    roles()[name] = std::move(role);
}

void* startChild(const std::string& role, const std::vector<std::string>& args)
{
    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(program) + L"\" --child=" + toWide(role);
    for (const auto& arg : args)
        commandLine += L" " + quoted(arg);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(program, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        throw std::runtime_error("CreateProcess failed: " + std::to_string(GetLastError()));
    CloseHandle(info.hThread);
    return info.hProcess;
}

unsigned long runChild(const std::string& role, const std::vector<std::string>& args)
{
    const ProcessHandle process(startChild(role, args));
    WaitForSingleObject(process.get(), INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.get(), &exitCode);
    return exitCode;
}

bool runChildRole(int argc, char** argv, int& exitCode)
{
    const std::string prefix = "--child=";
    if (argc < 2 || std::string(argv[1]).rfind(prefix, 0) != 0)
        return false;
    const auto role = roles().find(std::string(argv[1]).substr(prefix.size()));
    if (role == roles().end()) {
        exitCode = 127;
        return true;
    }
    exitCode = role->second(std::vector<std::string>(argv + 2, argv + argc));
    return true;
}
