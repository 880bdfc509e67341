#pragma once

#include <string>
#include <vector>

// One step of a host session: an export of zerav_VPN and its arguments.
struct HostStep {
    std::string name;
    std::vector<std::string> args;
};

// Splits the command line into steps; false with a reason on bad input.
bool parseSteps(const std::vector<std::string>& args, std::vector<HostStep>& steps, std::string& error);

// Runs one step and reports it on standard output; whether it succeeded.
bool runStep(const HostStep& step);

const char* hostUsage();
