#include "VPN.h"

#include "LibraryMutexes.h"
#include "LogRecord.h"
#include "NamedMutex.h"

#include <stdexcept>

VPN& VPN::instance()
{
    static VPN vpn;
    return vpn;
}

VPN::VPN()
{
    log(LogLevel::Trace, "VPN::VPN");
}

VPN::~VPN()
{
    log(LogLevel::Trace, "VPN::~VPN");
}

// A failed wait on the error-list mutex is possible only with a broken
// handle. It is logged; the queue is then left alone rather than touched
// unguarded, and the caller carries on.
void VPN::pushError(const std::string& text)
{
    try {
        NamedMutex::Lock lock(errorListMutex());
        ErrorList.push_back(text);
    } catch (const std::runtime_error& e) {
        log(LogLevel::Error, e.what(), ", error text not queued: ", text);
    }
}

namespace {

size_t utf8Prefix(const std::string& text, size_t maxBytes)
{
    if (maxBytes >= text.size())
        return text.size();
    while (maxBytes > 0 && (static_cast<unsigned char>(text[maxBytes]) & 0xC0) == 0x80)
        --maxBytes;
    return maxBytes;
}

} // namespace

void VPN::reportError(const std::string& text)
{
    pushError(text);
    log(LogLevel::Error, "Exception: ", text);
}

bool VPN::popError(std::string& text, size_t maxBytes)
{
    try {
        NamedMutex::Lock lock(errorListMutex());
        if (ErrorList.empty())
            return false;
        const size_t length = utf8Prefix(ErrorList.front(), maxBytes);
        if (length == 0)
            return false;
        text = ErrorList.front().substr(0, length);
        ErrorList.pop_front();
        return true;
    } catch (const std::runtime_error& e) {
        log(LogLevel::Error, e.what());
        return false;
    }
}
