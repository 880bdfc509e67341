#pragma once

#include "ClientWatch.h"
#include "ConnectBackoff.h"
#include "LibraryCalls.h"
#include "ServiceExit.h"
#include "UniqueHandle.h"

#include <chrono>
#include <cstddef>
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
    // Pausing: after a failed connect, until the server listens again.
    enum class State { Connecting = 0, Reading = 1, Writing = 2, Pausing = 3 };
    enum class Next { Operate, Wait, Stop };
    enum class Connect { Pending, Connected, Failed };
    enum class Cause { Stop, ProcessEnd, Pipe, Time, Fault };
    using Clock = std::chrono::steady_clock;

    // What ended a wait; for a process end, its index among the watched.
    struct Wake {
        Cause cause;
        std::size_t process = 0;
    };

    // What the kernel writes into while an operation is pending.
    struct IoBlock {
        OVERLAPPED overlapped = {};
        std::int32_t command = 0;
        std::int32_t reply = 0;
    };

    Wake waitForEvent() const;
    DWORD waitLimitMs() const;
    Next handle(const Wake& wake);
    Next pipeEvent();
    Next timeUp();
    Next dropClient();
    void listen();
    void pause();
    void awaitCommand();
    Connect connectToNewClient();
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
    ConnectBackoff backoff_;
    EventHandle ioEvent_;
    PipeHandle pipe_;
    std::unique_ptr<IoBlock> io_ = std::make_unique<IoBlock>();
    DWORD bytesRead_ = 0;
    DWORD bytesToWrite_ = 0;
    State state_ = State::Connecting;
    bool pendingIo_ = false;
    // When the client's time for its exchange is up, or the pause ends; none
    // while listening.
    std::optional<Clock::time_point> deadline_;
};

// The whole life of the server: returns when the terminate event is set or
// the server gives up, and says why.
ServiceExit runPipeServer(HANDLE terminate, const LibraryCalls& library);
