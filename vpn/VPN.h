#pragma once

#include <deque>
#include <string>

// The library's process-wide state behind the exports.
class VPN {
public:
    static VPN& instance();

    VPN(const VPN&) = delete;
    VPN& operator=(const VPN&) = delete;

    // Written and read with the VPN mutex held.
    bool serviceFlag = false;

    // Appends a text to the error queue under the error-list mutex.
    void pushError(const std::string& text);
    // What every catch does with an error: queue its text and log it.
    void reportError(const std::string& text);
    // Takes the oldest queued text out, cut to at most maxBytes without
    // splitting a character. A text that would be cut to nothing stays
    // queued, as does everything when the queue is empty: false then.
    bool popError(std::string& text, size_t maxBytes);

private:
    VPN();
    ~VPN();

    std::deque<std::string> ErrorList;
};
