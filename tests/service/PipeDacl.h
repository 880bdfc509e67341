#pragma once

#include <windows.h>

#include <ostream>
#include <string>
#include <tuple>
#include <vector>

// One entry of a pipe's access list, as the system keeps it.
struct PipeAce {
    BYTE type;
    ACCESS_MASK mask;
    std::string sid;

    bool operator==(const PipeAce& other) const
    {
        return std::tie(type, mask, sid) == std::tie(other.type, other.mask, other.sid);
    }
};

void PrintTo(const PipeAce& ace, std::ostream* out);

// The entries of the access list of the pipe behind a handle; empty when it
// has none or cannot be read.
std::vector<PipeAce> pipeDacl(HANDLE pipe);
