#pragma once

/* The exported interface of zerav_VPN. Strings are NUL-terminated: UTF-8 for
 * the server address, entry name and credentials, the ANSI code page for
 * file-system paths. A false result means an error text waits in the queue
 * that ZeravVPN_errorText hands out, oldest first.
 *
 * zerav_VPN.dll dials an IKEv2 VPN through the Windows remote-access dialer
 * (RAS) and has the service "ZeravMobile VPN service" (zerav_VPN_service.exe)
 * block DNS everywhere but through the tunnel while it is up. A host links
 * zerav_VPN.lib (Visual Studio) or libzerav_VPN.dll.a (MinGW) and ships
 * zerav_VPN.dll, zerav_VPN_service.exe and strongswanCert.der beside its
 * executable.
 *
 * Binary interface: C names, undecorated; the C calling convention (__cdecl,
 * named below); bool is one byte (C99's _Bool, C++'s bool), the buffer size of
 * ZeravVPN_errorText an unsigned 64-bit integer. This header compiles on its
 * own as C99 or later and as C++. The library copies every string it is
 * given; the host keeps its buffers.
 *
 * Threads: every export may be called from any thread and runs on the
 * caller's thread. All but ZeravVPN_connect, ZeravVPN_disconnect and
 * ZeravVPN_errorText first wait for the mutex "ZeravVpnMutex", which the host
 * processes of one logon share, so they wait while a connect or disconnect of
 * any of them is under way: a connect holds it for its dial (up to the
 * time-out given to ZeravVPN_setConfig) and its exchanges with the service.
 * A failed wait, possible only with a broken handle, queues
 * "NamedMutex: WaitForSingleObject() failed".
 *
 * Error texts: each process has its own queue, filled by the calls and
 * workers of all its threads. Texts built from a Windows error code read
 * "what: code system text", for example
 * "RasGetConnectStatus: 6 The handle is invalid.", the system's English text
 * with its line breaks turned into spaces, or "what: Windows error code N"
 * where the system has no English text for the code. The texts listed below
 * are those the library words itself; "code text" stands for such a
 * Windows error. */

#include <stdbool.h>
#include <stdint.h>

#ifdef __cplusplus
#define ZERAV_VPN_EXTERN extern "C"
#else
#define ZERAV_VPN_EXTERN
#endif

#ifdef ZERAV_VPN_BUILDING
#define ZERAV_VPN_API ZERAV_VPN_EXTERN __declspec(dllexport)
#else
#define ZERAV_VPN_API ZERAV_VPN_EXTERN __declspec(dllimport)
#endif

/* Named rather than left to the compiler's default, so that a host built
 * with another default (/Gz, /Gr or /Gv in Visual Studio) still calls the
 * exports, and is called back, the way the library expects. */
#define ZERAV_VPN_CALL __cdecl

/**
 * The result of ZeravVPN_connect or ZeravVPN_disconnect.
 *
 * Called exactly once per connect or disconnect, on a worker thread, with no
 * lock of the library held: it may call any export. One exception: when the
 * system cannot give the library a thread for the work, the callback gets
 * false (with the error text queued) on the caller's own thread, before
 * ZeravVPN_connect or ZeravVPN_disconnect returns. A host that holds a lock
 * across those calls and takes the same lock in its callback must allow for
 * that. The worker keeps the library loaded until it has returned, so a host
 * may unload the library while a worker runs.
 *
 * The error texts of a failed operation are queued before the callback is
 * called, so the callback may read them with ZeravVPN_errorText.
 *
 * @param success  What the operation reports; see ZeravVPN_connect and
 *                 ZeravVPN_disconnect.
 */
typedef void (ZERAV_VPN_CALL *ZeravVPN_ResultCallback)(bool success);

/**
 * Sets the library's log file, its threshold and its master switch. Until the
 * first call the library logs everything to %TEMP%\zerav_vpn.log. Each record
 * is one append; at 51,200 bytes the file is renamed to the same name with
 * ".old" added, replacing the previous one, and a new file begun. Records
 * whose file cannot be opened, or that wait longer than a second for the
 * writers of other threads and processes, are lost.
 *
 * @param logFilePath  The log file, in the ANSI code page; a relative path is
 *                     made absolute against the current directory now. A path
 *                     that does not convert gives no file.
 * @param level        The lowest level written: 0 Trace, 1 Info, 2 Warning,
 *                     3 Error, 4 Fatal.
 * @param enabled      false writes nothing at all.
 *
 * @return true when the settings are in force; false with the text queued.
 *
 * Error texts: "Null pointer passed as log file path" (nothing changes).
 */
ZERAV_VPN_API bool ZERAV_VPN_CALL ZeravVPN_initLogging(const char* logFilePath, int level, bool enabled);

/**
 * Marks the process as the service. The service program calls it with true
 * before anything else; hosts do not call it. With true, the library's
 * mutexes become private to this process, so the service never waits for the
 * host whose connect is waiting for the service. The flag is not consulted
 * by ZeravVPN_connect: the host says per connect whether it wants the service
 * ensured.
 *
 * @param service  true in the service program.
 *
 * Error texts: "NamedMutex: failed to create mutex" (the shared mutexes stay).
 */
ZERAV_VPN_API void ZERAV_VPN_CALL ZeravVPN_setService(bool service);

/**
 * Sets what ZeravVPN_connect dials with and where it finds the service
 * program. Every argument is checked before anything is stored: a refused
 * call leaves the earlier settings in force. No value is written to the log.
 *
 * @param entryName         The name of the phone-book entry the library
 *                          creates, dials and deletes, which the VPN adapter
 *                          then carries as its description; UTF-8, at most
 *                          256 characters. Before the first call: "Zerav VPN".
 * @param userName          The VPN user name; UTF-8, at most 256 characters.
 * @param password          The VPN password; UTF-8, at most 256 characters.
 * @param serviceDirectory  A folder relative to the host executable's folder,
 *                          in the ANSI code page: the service program is
 *                          looked for there first.
 * @param serviceFileName   The service program's file name, in the ANSI code
 *                          page, for example "zerav_VPN_service.exe"; looked
 *                          for in serviceDirectory, then beside the host
 *                          executable.
 * @param timeoutMs         How long a dial may take, in milliseconds. It is 0
 *                          before the first call, so a connect before it ends
 *                          in "Timeout". Taken as an unsigned 32-bit count:
 *                          -1 waits without limit.
 *
 * @return true when the settings are stored; false with the text queued.
 *
 * Error texts: "Null pointer passed as entry name", "... as user name",
 * "... as password", "... as service directory", "... as service file name"
 * (the first null argument), "Invalid UTF-8 text",
 * "Entry name is longer than 256 characters",
 * "User name is longer than 256 characters",
 * "Password is longer than 256 characters".
 */
ZERAV_VPN_API bool ZERAV_VPN_CALL ZeravVPN_setConfig(const char* entryName, const char* userName, const char* password,
                                                     const char* serviceDirectory, const char* serviceFileName,
                                                     int timeoutMs);

/**
 * Prepares the machine for the VPN, once, from the host's installer or first
 * run: creates the registry key
 * HKLM\SYSTEM\CurrentControlSet\Control\Network\NewNetworkWindowOff, so that
 * Windows does not ask for the location of the VPN's network, then has the
 * system's certutil.exe add the root certificate strongswanCert.der, from
 * beside the host executable, to the root store. certutil runs elevated: a
 * process without administrative rights makes Windows ask the user. The key
 * needs administrative rights too.
 *
 * @return true when the key exists and certutil was started (the library
 *         does not wait for it, so the certificate may not be in the store
 *         yet); false with the text queued, and nothing after the step that
 *         failed is done.
 *
 * Error texts: "RegCreateKeyEx: code text" (5 without administrative
 * rights), "GetSystemDirectory: code text", "ShellExecute certutil: code
 * text" (for example when the user declines the elevation),
 * "ShellExecute certutil: 0 The operating system is out of memory or
 * resources.".
 */
ZERAV_VPN_API bool ZERAV_VPN_CALL ZeravVPN_install(void);

/**
 * Undoes ZeravVPN_install, from the host's uninstaller: deletes the registry
 * key (unless ZeravVPN_install in this process found it there already), then
 * has certutil remove the certificate "Zerav Mobile Root CA" from the root
 * store, elevated like ZeravVPN_install.
 *
 * @return true when the key is gone and certutil was started; false with the
 *         text queued, and nothing after the step that failed is done.
 *
 * Error texts: "RegDeleteKeyEx: code text" (2 when the key is not there, 5
 * without administrative rights), "GetSystemDirectory: code text",
 * "ShellExecute certutil: code text", "ShellExecute certutil: 0 The
 * operating system is out of memory or resources.".
 */
ZERAV_VPN_API bool ZERAV_VPN_CALL ZeravVPN_deinstall(void);

/**
 * Connects, asynchronously. Returns at once; a worker thread of the library
 * checks the server address, ensures the service when asked to, creates the
 * IKEv2 phone-book entry for the server, dials it with the settings of
 * ZeravVPN_setConfig and waits for the dial, then asks the service to lock
 * DNS to the tunnel. The worker holds the mutex "ZeravVpnMutex" from the
 * service check to the lock. A failed connect hangs up and deletes, under that mutex,
 * only what it dialed itself: a connection this process had up before stays,
 * and while one is up no second dial is made. The callback comes no sooner
 * than 2.1 s after the call, however fast the connect.
 *
 * ensureService: ping the service first and start it elevated when it does
 * not answer.
 *
 * @param server         The VPN server's host name or address; UTF-8, at
 *                       most 128 characters. A bad address is refused before
 *                       anything is touched.
 * @param ensureService  true: send PING to the service first and, when it
 *                       does not answer, run the service program with
 *                       "start", elevated, and wait for it to exit (see
 *                       ZeravVPN_setConfig for where it is looked for). A
 *                       failed ping or start queues nothing; the lock tells.
 * @param callback       Called once with true only when the tunnel is up and
 *                       DNS is locked to it; false otherwise. May not be null.
 *
 * Error texts, on the caller's thread: "Null pointer passed as result
 * callback" (nothing else happens, the callback is not called);
 * "GetModuleHandleEx: code text" or "CreateThread: code text" (no worker:
 * the callback gets false before the call returns).
 * On the worker: "Null pointer passed as server address",
 * "Invalid UTF-8 text", "Server address is longer than 128 characters";
 * from the entry and the dial "RasGetEntryProperties: code text",
 * "RasGetEntryProperties: entry size N is too small",
 * "RasSetEntryProperties: code text", "Unsupported OS" (before Windows 7),
 * "RasDial: code text" (the dial could not start), "Timeout" (no connection
 * within the time-out, or the dialer refused it), followed by the dialer's
 * reason when it gave one, for example "RasDial: 691 code text";
 * from the service "CreateFile(): named pipe failed : N" (2: the service is
 * not running), "OpenSCManager(): failed : N",
 * "OpenService(): ZeravMobile VPN service failed : N" (1060: not installed),
 * "QueryServiceStatusEx(): ZeravMobile VPN service failed : N",
 * "GetNamedPipeServerProcessId(): named pipe failed : N",
 * "Named pipe server is not the ZeravMobile VPN service: process N",
 * "WriteFile(): named pipe failed N", "ReadFile(): named pipe failed N"
 * (1460 when the service did not answer within 15 s), and the same two
 * without a code for a short transfer. A service that answers the lock with
 * FAIL gives false without a text (its log has the reason). From the
 * clean-up after a failure: "RasHangUp: code text".
 */
ZERAV_VPN_API void ZERAV_VPN_CALL ZeravVPN_connect(const char* server, bool ensureService,
                                                   ZeravVPN_ResultCallback callback);

/**
 * Disconnects, asynchronously. Returns at once; a worker thread of the
 * library takes the mutex "ZeravVpnMutex", hangs up the connection this
 * process dialed (waiting up to 5 s for it to be gone), deletes the
 * phone-book entry and asks the service to unlock DNS. The service is not
 * started for this.
 *
 * @param callback  Called once with true when the service has unlocked DNS;
 *                  false otherwise. May not be null.
 *
 * Error texts, on the caller's thread: as for ZeravVPN_connect. On the
 * worker: "RasHangUp: code text" (the entry and the lock are then left as
 * they are), and the service's texts listed at ZeravVPN_connect. A service
 * that answers FAIL gives false without a text.
 */
ZERAV_VPN_API void ZERAV_VPN_CALL ZeravVPN_disconnect(ZeravVPN_ResultCallback callback);

/**
 * Tells whether the connection this process dialed is up. Connections of
 * other processes do not count.
 *
 * @return true when connected. false when not, without a text, and also when
 *         the dialer could not say, with the text queued.
 *
 * Error texts: "RasGetConnectStatus: code text" (6 when the connection is
 * gone; the library then forgets it).
 */
ZERAV_VPN_API bool ZERAV_VPN_CALL ZeravVPN_status(void);

/**
 * Blocks DNS (remote port 53, IPv4 and IPv6) on every interface but the VPN
 * adapter, found by the entry name, through the Windows Filtering Platform,
 * after flushing the DNS cache. The permitting rules go in first, so a lock
 * that fails half-way leaves DNS open rather than shut. The rules live in a
 * dynamic session of the calling process: they go when it ends or unlocks,
 * and a second lock replaces the first. Needs administrative rights, so in
 * normal use only the service calls it, on a connect's request.
 *
 * @return true when the rules are in place; false with the text queued.
 *
 * Error texts: "LoadLibrary('dnsapi.dll'): code text",
 * "GetProcAddress('DnsFlushResolverCache': code text",
 * "DnsFlushResolverCache: code text", "GetIfTable get size: code text",
 * "GetIfTable get data: code text", "Our VPN interface index not found",
 * "FwpmEngineClose0: code text", "FwpmEngineOpen0: code text",
 * "FwpmSubLayerAdd0: code text", "FwpmFilterAdd0 permit IPv4: code text"
 * (likewise "permit IPv6", "block IPv4", "block IPv6"); without
 * administrative rights one of the Fwpm steps fails.
 */
ZERAV_VPN_API bool ZERAV_VPN_CALL ZeravVPN_lock_DNS_leaks(void);

/**
 * Removes the rules of ZeravVPN_lock_DNS_leaks made by this process and
 * flushes the DNS cache. Unlocking without a lock succeeds.
 *
 * @return true when the rules are gone and the DNS cache flushed; false with
 *         the text queued.
 *
 * Error texts: "FwpmEngineClose0: code text" (the rules stay; the next lock
 * or unlock tries again), and the flush's texts listed at
 * ZeravVPN_lock_DNS_leaks.
 */
ZERAV_VPN_API bool ZERAV_VPN_CALL ZeravVPN_unlock_DNS_leaks(void);

/**
 * Clears what an earlier run may have left, for a host starting after a
 * crash: unlocks as ZeravVPN_unlock_DNS_leaks does, then hangs up every
 * connection of the configured entry name, whichever process dialed it, and
 * deletes the entry. Call it after ZeravVPN_setConfig.
 *
 * Error texts: those of ZeravVPN_unlock_DNS_leaks. A failed hang-up is only
 * logged.
 */
ZERAV_VPN_API void ZERAV_VPN_CALL ZeravVPN_cleanup(void);

/**
 * Hands out the oldest queued error text of this process and removes it
 * from the queue. Does not wait for "ZeravVpnMutex", so it answers at once,
 * also while a connect runs and from inside a callback.
 *
 * @param buffer      Receives the text, NUL-terminated: the library's own
 *                    words in ASCII, the system's as FormatMessageA gives
 *                    them.
 * @param bufferSize  The size of buffer in bytes, the NUL included; nothing
 *                    is written past it. A longer text is cut where no UTF-8
 *                    character is split, and the rest of it discarded; 1024
 *                    bytes hold every text in practice.
 *
 * @return true when a text was written. false when none is queued, when
 *         buffer is null or bufferSize is 0 (nothing written), or when not
 *         even the text's first character fits (bufferSize 1): the text
 *         stays queued, and a non-null buffer gets an empty string.
 */
ZERAV_VPN_API bool ZERAV_VPN_CALL ZeravVPN_errorText(char* buffer, uint64_t bufferSize);
