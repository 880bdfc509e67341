#pragma once

/* The exported interface of zerav_VPN. Strings are NUL-terminated: UTF-8 for
 * the server address, entry name and credentials, the ANSI code page for
 * file-system paths. A false result means an error text waits in the queue
 * that ZeravVPN_errorText hands out, oldest first. */

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

/* Called exactly once per connect or disconnect, on a worker thread, with no
 * lock of the library held: it may call any export. One exception: when the
 * system cannot give the library a thread for the work, the callback gets
 * false (with the error text queued) on the caller's own thread, before
 * ZeravVPN_connect or ZeravVPN_disconnect returns. A host that holds a lock
 * across those calls and takes the same lock in its callback must allow for
 * that. The worker keeps the library loaded until it has returned, so a host
 * may unload the library while a worker runs. */
typedef void (*ZeravVPN_ResultCallback)(bool success);

ZERAV_VPN_API bool ZeravVPN_initLogging(const char* logFilePath, int level, bool enabled);
ZERAV_VPN_API void ZeravVPN_setService(bool service);
ZERAV_VPN_API bool ZeravVPN_setConfig(const char* entryName, const char* userName, const char* password,
                                      const char* serviceDirectory, const char* serviceFileName, int timeoutMs);
ZERAV_VPN_API bool ZeravVPN_install(void);
ZERAV_VPN_API bool ZeravVPN_deinstall(void);
/* ensureService: ping the service first and start it elevated when it does
 * not answer. */
ZERAV_VPN_API void ZeravVPN_connect(const char* server, bool ensureService, ZeravVPN_ResultCallback callback);
ZERAV_VPN_API void ZeravVPN_disconnect(ZeravVPN_ResultCallback callback);
ZERAV_VPN_API bool ZeravVPN_status(void);
ZERAV_VPN_API bool ZeravVPN_lock_DNS_leaks(void);
ZERAV_VPN_API bool ZeravVPN_unlock_DNS_leaks(void);
ZERAV_VPN_API void ZeravVPN_cleanup(void);
ZERAV_VPN_API bool ZeravVPN_errorText(char* buffer, uint64_t bufferSize);
