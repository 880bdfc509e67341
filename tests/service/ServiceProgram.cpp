#include "ServiceProgram.h"

#include "ServiceName.h"
#include "UniqueHandle.h"

#include <stdexcept>
#include <vector>

std::wstring serviceProgramPath()
{
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    return path.substr(0, path.find_last_of(L"\\/") + 1) + L"zerav_VPN_service.exe";
}

namespace {

std::string readAll(HANDLE pipe)
{
    std::string output;
    char buffer[512];
    DWORD read = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &read, nullptr) && read > 0)
        output.append(buffer, read);
    return output;
}

} // namespace

ProgramRun runServiceProgram(const std::wstring& arguments)
{
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    FileHandle readEnd;
    FileHandle writeEnd;
    HANDLE ends[2] = {};
    if (!CreatePipe(&ends[0], &ends[1], &inheritable, 0))
        throw std::runtime_error("CreatePipe failed");
    readEnd.reset(ends[0]);
    writeEnd.reset(ends[1]);
    SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);

    const std::wstring program = serviceProgramPath();
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd.get();
    startup.hStdError = writeEnd.get();
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &info))
        throw std::runtime_error("CreateProcess failed: " + std::to_string(GetLastError()));
    const ProcessHandle process(info.hProcess);
    const ProcessHandle thread(info.hThread);
    writeEnd.reset();

    ProgramRun run;
    run.output = readAll(readEnd.get());
    WaitForSingleObject(process.get(), INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.get(), &exitCode);
    run.exitCode = exitCode;
    return run;
}

bool queryService(SERVICE_STATUS_PROCESS& status)
{
    const ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    const ServiceHandle service(OpenServiceW(manager.get(), serviceName, SERVICE_QUERY_STATUS));
    DWORD needed = 0;
    return service && QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                           sizeof status, &needed);
}

std::wstring serviceBinaryPath()
{
    const ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    const ServiceHandle service(OpenServiceW(manager.get(), serviceName, SERVICE_QUERY_CONFIG));
    if (!service)
        return {};
    DWORD needed = 0;
    QueryServiceConfigW(service.get(), nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (needed == 0 || !QueryServiceConfigW(service.get(), config, needed, &needed))
        return {};
    return config->lpBinaryPathName ? config->lpBinaryPathName : L"";
}
