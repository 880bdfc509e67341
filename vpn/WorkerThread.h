#pragma once

#include <functional>

// Runs work on a thread that the library creates and ends itself with the
// Windows thread functions. A detached winpthreads thread (std::thread) that
// ends before its creator has detached it hands its record back for reuse
// while it still runs its exit path; that exit path then resets the record
// of the next thread to get it, whose next pthread_getspecific (every throw
// makes one) spins for ever.
//
// The thread holds a reference on the library until the work has returned,
// so a host may unload the library meanwhile. Throws when no thread can be
// had; the work has not run then. The work must not throw.
void startWorkerThread(std::function<void()> work);
