#include "ServiceClient.h"

#include "UniqueHandle.h"

#include <stdexcept>
#include <string>

namespace {

// The server is between two clients for a moment after each exchange; a
// client that finds it busy waits for it this long in all.
constexpr ULONGLONG busyPipeWaitMs = 2000;

[[noreturn]] void fail(const char* what, DWORD code)
{
    throw std::runtime_error(std::string(what) + std::to_string(code));
}

// FILE_WRITE_DATA, not GENERIC_WRITE: the latter includes the right to
// create pipe instances, which the service grants to nobody but itself.
// Identification only: whoever answers on the pipe's name learns who we
// are but cannot act as us.
PipeHandle openServicePipe()
{
    const ULONGLONG deadline = GetTickCount64() + busyPipeWaitMs;
    for (;;) {
        PipeHandle pipe(CreateFileW(servicePipeName, GENERIC_READ | FILE_WRITE_DATA, 0, nullptr, OPEN_EXISTING,
                                    SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
        if (pipe)
            return pipe;
        const DWORD error = GetLastError();
        const ULONGLONG now = GetTickCount64();
        if (error != ERROR_PIPE_BUSY || now >= deadline)
            fail("CreateFile(): named pipe failed : ", error);
        // Whatever the wait answers, the next open tells.
        WaitNamedPipeW(servicePipeName, static_cast<DWORD>(deadline - now));
    }
}

DWORD serviceProcessId()
{
    const ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager)
        fail("OpenSCManager(): failed : ", GetLastError());
    const ServiceHandle service(OpenServiceW(manager.get(), serviceName, SERVICE_QUERY_STATUS));
    if (!service)
        fail("OpenService(): ZeravMobile VPN service failed : ", GetLastError());
    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                              &needed))
        fail("QueryServiceStatusEx(): ZeravMobile VPN service failed : ", GetLastError());
    return status.dwProcessId;
}

// Any process may create a pipe of this name while the service is not
// running and answer OK to everything. Nothing is sent unless the pipe's
// server is the service's own process.
void checkServerIsTheService(HANDLE pipe)
{
    ULONG serverId = 0;
    if (!GetNamedPipeServerProcessId(pipe, &serverId))
        fail("GetNamedPipeServerProcessId(): named pipe failed : ", GetLastError());
    if (serverId != serviceProcessId())
        throw std::runtime_error("Named pipe server is not the ZeravMobile VPN service: process " +
                                 std::to_string(serverId));
}

ServiceReply exchange(HANDLE pipe, ServiceCommand command)
{
    DWORD written = 0;
    if (!WriteFile(pipe, &command, sizeof command, &written, nullptr))
        fail("WriteFile(): named pipe failed ", GetLastError());
    if (written != sizeof command)
        throw std::runtime_error("WriteFile(): named pipe failed");

    std::int32_t reply = SERVICE_REPLY_FAIL;
    DWORD read = 0;
    if (!ReadFile(pipe, &reply, sizeof reply, &read, nullptr))
        fail("ReadFile(): named pipe failed ", GetLastError());
    if (read != sizeof reply)
        throw std::runtime_error("ReadFile(): named pipe failed");
    return static_cast<ServiceReply>(reply);
}

} // namespace

ServiceReply sendServiceCommand(ServiceCommand command)
{
    const PipeHandle pipe = openServicePipe();
    checkServerIsTheService(pipe.get());
    return exchange(pipe.get(), command);
}

ServiceReply sendPipeCommand(ServiceCommand command)
{
    const PipeHandle pipe = openServicePipe();
    return exchange(pipe.get(), command);
}
