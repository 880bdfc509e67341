#pragma once

#include "LibraryCalls.h"
#include "UniqueHandle.h"

#include <cstddef>
#include <vector>

// The client processes the service cleans up after. While some hold the DNS
// lock (their LOCK succeeded and they still run), only they are watched: no
// other client's visit or end cleans up, and no other client's UNLOCK ends
// the lock. The lock ends with the UNLOCK of its last holder, and the clean-up
// runs when the last holder ends. Without holders, the last client that sent
// a valid command is watched, so that a host that dies between its PING and
// its LOCK is still cleaned up after.
//
// Clients are known by process ID. Each watched process is held open, so its
// ID cannot be given to another process while it is watched.
class ClientWatch {
public:
    // Each holder costs a handle; a client that starts processes without end
    // must not make the service hold ever more of them.
    static constexpr std::size_t maxHolders = 16;

    explicit ClientWatch(LibraryCalls library);

    // The lock and unlock that a command of this client may make; 0 stands
    // for a client whose process is unknown.
    LibraryCalls callsFor(DWORD processId);
    // After a valid command of this client has been executed.
    void commandExecuted(DWORD processId);

    // The watched processes, for the server's wait.
    std::vector<HANDLE> processes() const;
    // The process at this index of processes() has ended.
    void processEnded(std::size_t index);
    // The server stops: cleans up and watches nobody.
    void stop();

private:
    struct Client {
        DWORD processId = 0;
        ProcessHandle process;
    };

    bool lock(DWORD processId);
    bool unlock(DWORD processId);
    std::vector<Client>::iterator findHolder(DWORD processId);
    bool watches(DWORD processId);
    void logEnd(const Client& client) const;

    LibraryCalls library_;
    std::vector<Client> holders_;
    Client lastClient_;
};
