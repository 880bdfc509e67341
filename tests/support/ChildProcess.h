#pragma once

#include <functional>
#include <string>
#include <vector>

// A role that the test program plays when it is started again as a child:
// `program --child=NAME args...`. Its result is the child's exit code.
using ChildRole = std::function<int(const std::vector<std::string>& args)>;

struct ChildRoleRegistration {
    ChildRoleRegistration(const std::string& name, ChildRole role);
};

#define ZERAV_CHILD_ROLE(name)                                                                                         \
    static int childRole_##name(const std::vector<std::string>& args);                                                  \
    static const ChildRoleRegistration childRoleRegistration_##name(#name, childRole_##name);                           \
    static int childRole_##name(const std::vector<std::string>& args)

// Runs this test program as a child in the given role and waits for it; its
// exit code.
unsigned long runChild(const std::string& role, const std::vector<std::string>& args = {});

// Starts it without waiting; the caller owns the returned process handle.
void* startChild(const std::string& role, const std::vector<std::string>& args = {});

// Used by the test main: runs the role named on the command line, if any.
bool runChildRole(int argc, char** argv, int& exitCode);
