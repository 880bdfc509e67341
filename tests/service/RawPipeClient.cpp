#include "RawPipeClient.h"

#include "ServicePipe.h"

RawPipeClient::RawPipeClient()
    : pipe_(CreateFileW(servicePipeName, GENERIC_READ | FILE_WRITE_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr))
    , openError_(pipe_ ? 0 : GetLastError())
{
}

bool RawPipeClient::send(const std::string& bytes)
{
    DWORD written = 0;
    const bool done = WriteFile(pipe_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    lastError_ = done ? 0 : GetLastError();
    return done && written == bytes.size();
}

bool RawPipeClient::sendCommand(std::int32_t command)
{
    return send(std::string(reinterpret_cast<const char*>(&command), sizeof command));
}

std::optional<std::int32_t> RawPipeClient::receiveReply()
{
    std::int32_t reply = 0;
    DWORD read = 0;
    const bool done = ReadFile(pipe_.get(), &reply, sizeof reply, &read, nullptr);
    lastError_ = done ? 0 : GetLastError();
    if (!done || read != sizeof reply)
        return std::nullopt;
    return reply;
}
