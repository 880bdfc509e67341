#pragma once

#include "UniqueHandle.h"

#include <string>
#include <vector>

// Another process that talks to the service's pipe: this test program
// started again as a child that takes its steps in order, each exchange on a
// connection of its own, waiting for the pipe while another client has it:
//   leave          connects and leaves without a byte
//   ping, lock, unlock
//                  sends the command and reads the reply
//   short          sends a 2-byte message and reads the reply
//   unknown        sends command 7 and reads the reply
//   await=NAME     waits for the named event (30 s at most)
//   stay           stays for a minute, for the test to end it
// Its exit code is the last reply it got, 0 when it got none, 100 when a
// step failed. A visitor still running when its owner goes is ended, so that
// a failed test leaves no process behind.
class PipeVisitor {
public:
    explicit PipeVisitor(const std::vector<std::string>& steps);
    PipeVisitor(PipeVisitor&&) = default;
    PipeVisitor& operator=(PipeVisitor&&) = default;
    ~PipeVisitor();

    unsigned long id() const;
    // Once it ended; 259 (STILL_ACTIVE) when it still runs after 15 s.
    unsigned long exitCode() const;
    // Ends it with this exit code and returns once it is gone.
    void kill(unsigned exitCode) const;

private:
    ProcessHandle process_;
};
