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

    // Refuses a server address that the entry cannot hold, before anything
    // is changed for it.
    static void checkServerAddress(const std::string& server);
    // Refuses an entry name, user name or password that cannot be dialed,
    // before it is stored: the entry is deleted by its name later, in
    // clean-ups that must not fail on it.
    static void checkDialNames(const std::string& entryName, const std::string& userName,
                               const std::string& password);
    // Replaces the phone-book entry with an IKEv2-only entry for the server.
    void createEntry(const std::string& server);
    // Dials the entry and waits up to the configured time-out, or until the
    // dialer reports an error; true when connected. A stored connection is
    // reused without dialing. A failed dial raises DialFailed.
    bool connect();
    void disconnect();
    void deleteEntry();
    // The interface index of the adapter described by the entry name.
    unsigned long getNetworkInterfaceIndex();
    // Whether the stored connection is in the connected state.
    bool status();
    // Whether a connection is stored, whatever its state.
    bool hasConnection() const { return connection_ != nullptr; }
    // Hangs up every live connection of the entry name, then deletes the entry.
    void hangUpStaleConnections();

    Config config;

private:
    AgileVPN();
    ~AgileVPN();

    static void __stdcall dialNotifier(unsigned int message, unsigned int state, unsigned long error);
    // Hangs up and waits until the connection is gone; RasHangUpW's result.
    static unsigned long hangUp(HRASCONN__* connection);

    HRASCONN__* connection_ = nullptr;
    // Written by the dial notifier on a RAS thread, read after the wait.
    std::atomic<unsigned long> lastDialState_;
    std::atomic<unsigned long> lastDialError_{0};
    EventHandle dialComplete_;
};
