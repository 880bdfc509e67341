#pragma once

#include "Config.h"
#include "UniqueHandle.h"

#include <atomic>
#include <string>

struct HRASCONN__;

// The IKEv2 connection through the Windows remote-access dialer: the
// phone-book entry, the dial, hang-up, status, and the adapter Windows
// creates for the connection.
class AgileVPN {
public:
    static AgileVPN& instance();

    AgileVPN(const AgileVPN&) = delete;
    AgileVPN& operator=(const AgileVPN&) = delete;

    // Replaces the phone-book entry with an IKEv2-only entry for the server.
    void createEntry(const std::string& server);
    // Dials the entry and waits up to the configured time-out; true when
    // connected. A stored connection is reused without dialing.
    bool connect();
    void disconnect();
    void deleteEntry();
    // The interface index of the adapter described by the entry name.
    unsigned long getNetworkInterfaceIndex();
    // Whether the stored connection is in the connected state.
    bool status();
    // Hangs up every live connection of the entry name, then deletes the entry.
    void hangUpStaleConnections();

    Config config;

private:
    AgileVPN();
    ~AgileVPN();

    static void __stdcall dialNotifier(unsigned int message, unsigned int state, unsigned long error);

    HRASCONN__* connection_ = nullptr;
    // Written by the dial notifier on a RAS thread, read after the wait.
    std::atomic<unsigned long> lastDialState_;
    EventHandle dialComplete_;
};
