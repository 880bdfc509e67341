#pragma once

#include <functional>

// The three calls into the VPN library that pipe commands and client
// clean-up need. The service passes the library's exports; whoever runs the
// pipe server without the library passes its own.
struct LibraryCalls {
    std::function<bool()> lockDnsLeaks;
    std::function<bool()> unlockDnsLeaks;
    std::function<void()> cleanup;
};
