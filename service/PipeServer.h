#pragma once

#include "ClientWatch.h"
#include "LibraryCalls.h"
#include "ServiceExit.h"
#include "UniqueHandle.h"

#include <cstdint>
#include <vector>

// The service's named-pipe server: one pipe instance, overlapped I/O, one
// client at a time. It watches the client processes that hold the DNS lock,
// or else the last client, and cleans up after them (ClientWatch), so that a
// host that dies leaves no firewall rules behind.
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

    DWORD waitForEvent(std::vector<HANDLE>& handles) const;
    void listen();
    bool connectToNewClient();
    void disconnectAndReconnect();
    void terminate();
    void finishPendingIo();
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
    OVERLAPPED overlapped_ = {};
    std::int32_t command_ = 0;
    DWORD bytesRead_ = 0;
    std::int32_t reply_ = 0;
    DWORD bytesToWrite_ = 0;
    State state_ = State::Connecting;
    bool pendingIo_ = false;
};

// The whole life of the server: returns when the terminate event is set or
// the server gives up, and says why.
ServiceExit runPipeServer(HANDLE terminate, const LibraryCalls& library);
