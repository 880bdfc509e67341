#include "ServiceStarter.h"

#include "AgileVPN.h"
#include "LogRecord.h"
#include "StringConversion.h"
#include "UniqueHandle.h"
#include "Utils.h"

#include <shellapi.h>

#include <filesystem>

static_assert(sizeof(SHELLEXECUTEINFOW) == 112, "the shell expects the 64-bit layout");

namespace fs = std::filesystem;

namespace {

// Only a regular file counts: an empty file name would otherwise name the
// host's own directory, which the shell would open in a window.
bool isProgram(const fs::path& candidate)
{
    return fs::is_regular_file(fs::status(candidate));
}

bool runStart(const fs::path& program)
{
    return runElevated(program.wstring(), L"start") == 0;
}

} // namespace

bool startServiceElevated()
{
    const std::wstring executable = Utils::executablePath();
    if (executable.empty())
        return false;
    const fs::path directory = executable.substr(0, executable.find_last_of(L"\\/") + 1);
    const Config& config = AgileVPN::instance().config;
    const fs::path fileName = ansiToWide(config.serviceFileName);

    const fs::path first = directory / ansiToWide(config.serviceDirectory) / fileName;
    if (isProgram(first))
        return runStart(first);
    const fs::path second = directory / fileName;
    if (isProgram(second))
        return runStart(second);
    return false;
}

unsigned long runElevated(const std::wstring& program, const std::wstring& parameters)
{
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = L"runas";
    info.lpFile = program.c_str();
    info.lpParameters = parameters.c_str();
    info.nShow = SW_HIDE;
    const std::string what = toUtf8(program) + " " + toUtf8(parameters);

    if (!ShellExecuteExW(&info)) {
        const DWORD error = GetLastError();
        log(LogLevel::Error, "Fail of executing ", what, ". Eror code : ", error);
        return error;
    }
    const ProcessHandle process(info.hProcess);
    DWORD exitCode = ERROR_INVALID_HANDLE;
    if (process) {
        WaitForSingleObject(process.get(), INFINITE);
        GetExitCodeProcess(process.get(), &exitCode);
    }
    log(exitCode == 0 ? LogLevel::Info : LogLevel::Warning, "Executed: ", what, ". Exit code : ", exitCode);
    return exitCode;
}
