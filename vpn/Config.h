#pragma once

#include <string>

// Everything the library needs to know before it dials. No value of it is
// ever written to the log.
class Config {
public:
    Config();
    ~Config();
    Config(const Config&) = delete;
    Config& operator=(const Config&) = delete;

    void set(const std::string& entryName, const std::string& userName, const std::string& password,
             const std::string& serviceDirectory, const std::string& serviceFileName, int timeoutMs);

    int timeoutMs = 0;
    std::string entryName = "Zerav VPN";
    std::string userName;
    std::string serviceDirectory;
    std::string serviceFileName;
    std::string password;
};
