#pragma once

#include <stdexcept>
#include <string>

// A dial that did not reach the connected state. Its text stays "Timeout",
// which hosts know; the dialer's own reason, when it gave one, travels with
// it (for example "RasDial: 691 ..."), empty otherwise.
class DialFailed : public std::runtime_error {
public:
    explicit DialFailed(std::string reason) : std::runtime_error("Timeout"), reason_(std::move(reason)) {}

    const std::string& reason() const { return reason_; }

private:
    std::string reason_;
};
