#include "LibraryMutexes.h"

#include "LogRecord.h"
#include "NamedMutex.h"

#include <optional>
#include <stdexcept>

namespace {

struct Mutexes {
    NamedMutex vpn{L"ZeravVpnMutex"};
    NamedMutex errorList{L"ZeravVpnErrorListMutex"};
};

// Constructed empty with the module's statics and destroyed with them, after
// the VPN object that is built later on first use.
std::optional<Mutexes> mutexes;

} // namespace

bool createLibraryMutexes()
{
    try {
        mutexes.emplace();
        return true;
    } catch (const std::runtime_error& e) {
        log(LogLevel::Error, "Exception: ", e.what());
        return false;
    }
}

NamedMutex& vpnMutex()
{
    return mutexes->vpn;
}

NamedMutex& errorListMutex()
{
    return mutexes->errorList;
}
