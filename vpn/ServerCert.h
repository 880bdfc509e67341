#pragma once

#include <string>

// Adds and removes the VPN servers' root certificate with certutil.
class ServerCert {
public:
    static ServerCert& instance();

    // Starts certutil to add the file of that name beside the host program
    // to the root store.
    void add(const std::string& fileName);
    // Starts certutil to remove the certificate of that name from the store.
    void remove(const std::string& certificateName);

private:
    ServerCert() = default;
};
