#pragma once

#include "UniqueHandle.h"

#include <cstdint>
#include <optional>
#include <string>

// A pipe client that sends whatever bytes a test wants, on one connection
// for as many messages as it likes, where the library's client sends one
// 4-byte command per connection. It asks only for the rights the pipe grants
// every local user: reading and writing data, not creating instances.
class RawPipeClient {
public:
    // Opens the service pipe; check connected().
    RawPipeClient();

    bool connected() const { return pipe_.valid(); }
    unsigned long openError() const { return openError_; }
    HANDLE handle() const { return pipe_.get(); }

    bool send(const std::string& bytes);
    bool sendCommand(std::int32_t command);
    // The 4-byte reply, or nothing when the read fails or is short.
    std::optional<std::int32_t> receiveReply();
    unsigned long lastError() const { return lastError_; }

    void close() { pipe_.reset(); }

private:
    PipeHandle pipe_;
    unsigned long openError_ = 0;
    unsigned long lastError_ = 0;
};
