#pragma once

class NamedMutex;

// The two process-wide mutexes of the library, created while it loads.
// Returns false (after logging why) when either cannot be created, which
// makes loading the library fail instead of leaving it without its locks.
bool createLibraryMutexes();

// Serialises every operation on the VPN state, across the processes of one
// logon.
NamedMutex& vpnMutex();
// Guards the error queue alone; never held together with the VPN mutex.
NamedMutex& errorListMutex();
