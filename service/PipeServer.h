#pragma once

#include "ClientWatch.h"
#include "LibraryCalls.h"
#include "ServiceExit.h"
#include "UniqueHandle.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// The service's named-pipe server: one pipe instance, overlapped I/O, one
// client at a time. A client has a few seconds from its connect, and again
// from each reply, to finish an exchange, so that one that goes quiet cannot
// keep every other from the only instance. The server watches the client
// processes that hold the DNS lock, or else the last client, and cleans up
// after them (ClientWatch), so that a host that dies leaves no firewall rules
// behind.
class PipeServer {
public:
    PipeServer(HANDLE terminate, LibraryCalls library);
    PipeServer(const PipeServer&) = delete;
    PipeServer& operator=(const PipeServer&) = delete;
    ~PipeServer();

    // Creates the I/O event and the pipe; false (logged) when either fails.
    bool start();
    // Serves clients until the terminate event is set or a fault ends it;
    // says which.
    ServiceExit serve();

private:
    enum class State { Connecting = 0, Reading = 1, Writing = 2 };
    enum class Next { Operate, Wait, Stop };
    using Clock = std::chrono::steady_clock;

    // What the kernel writes into while an operation is pending.
    struct IoBlock {
        OVERLAPPED overlapped = {};
        std::int32_t command = 0;
        std::int32_t reply = 0;
    };

    DWORD waitForEvent(std::vector<HANDLE>& handles) const;
    DWORD waitLimitMs() const;
    Next timeUp();
    Next dropClient();
    void listen();
    void awaitCommand();
    bool connectToNewClient();
    void disconnectAndReconnect();
    void terminate();
    bool finishPendingIo();
    bool pendingIoEnded();
    Next collectResult();
    Next startOperation();
    Next startRead();
    Next startWrite();
    Next afterStart(bool done, bool complete, State next);
    void processCommand();
    DWORD clientProcessId() const;

    HANDLE terminate_;
    ClientWatch watch_;
    EventHandle ioEvent_;
    PipeHandle pipe_;
    std::unique_ptr<IoBlock> io_ = std::make_unique<IoBlock>();
    DWORD bytesRead_ = 0;
    DWORD bytesToWrite_ = 0;
    State state_ = State::Connecting;
    bool pendingIo_ = false;
    // When the client's time for its exchange is up; none while listening.
    std::optional<Clock::time_point> deadline_;
};

// The whole life of the server: returns when the terminate event is set or
// the server gives up, and says why.
ServiceExit runPipeServer(HANDLE terminate, const LibraryCalls& library);
