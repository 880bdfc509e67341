#include "ServiceClient.h"

#include "UniqueHandle.h"

#include <stdexcept>
#include <string>

namespace {

[[noreturn]] void fail(const char* what, DWORD code)
{
    throw std::runtime_error(std::string(what) + std::to_string(code));
}

} // namespace

ServiceReply sendServiceCommand(ServiceCommand command)
{
    // FILE_WRITE_DATA, not GENERIC_WRITE: the latter includes the right to
    // create pipe instances, which the service grants to nobody but itself.
    // Identification only: whoever answers on the pipe's name learns who we
    // are but cannot act as us.
    PipeHandle pipe(CreateFileW(servicePipeName, GENERIC_READ | FILE_WRITE_DATA, 0, nullptr, OPEN_EXISTING,
                                SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
    if (!pipe)
        fail("CreateFile(): named pipe failed : ", GetLastError());

    DWORD written = 0;
    if (!WriteFile(pipe.get(), &command, sizeof command, &written, nullptr))
        fail("WriteFile(): named pipe failed ", GetLastError());
    if (written != sizeof command)
        throw std::runtime_error("WriteFile(): named pipe failed");

    std::int32_t reply = SERVICE_REPLY_FAIL;
    DWORD read = 0;
    if (!ReadFile(pipe.get(), &reply, sizeof reply, &read, nullptr))
        fail("ReadFile(): named pipe failed ", GetLastError());
    if (read != sizeof reply)
        throw std::runtime_error("ReadFile(): named pipe failed");
    return static_cast<ServiceReply>(reply);
}
