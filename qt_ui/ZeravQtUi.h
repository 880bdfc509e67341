#pragma once

#include <cstddef>

#if defined(_WIN32)
#  if defined(ZERAV_QT_UI_BUILD)
#    define ZERAV_QT_UI_EXPORT __declspec(dllexport)
#  else
#    define ZERAV_QT_UI_EXPORT __declspec(dllimport)
#  endif
#else
#  define ZERAV_QT_UI_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#  define ZERAV_QT_UI_API extern "C" ZERAV_QT_UI_EXPORT
#else
#  define ZERAV_QT_UI_API ZERAV_QT_UI_EXPORT
#  include <stdbool.h>
#  include <wchar.h>
#endif

// The code string is valid only during the call.
typedef void (*ServerClickCallback)(void* context, const wchar_t* serverCode);

ZERAV_QT_UI_API bool ZeravQtUi_initQtUi(void);
// Ends the menu's event loop and returns once the menu's thread has ended, so
// that the host may exit right after. It waits three seconds at most: a click
// callback that waits for the thread calling quit (a hand-over in the manner
// of SendMessage) holds the menu's thread, which then ends after the
// callback. Called from the click callback, it returns at once and the loop
// ends after the callback.
ZERAV_QT_UI_API void ZeravQtUi_quit(void);
ZERAV_QT_UI_API void ZeravQtUi_showAt(int x, int y);
ZERAV_QT_UI_API void ZeravQtUi_setLightTheme(void);
ZERAV_QT_UI_API void ZeravQtUi_setDarkTheme(void);
ZERAV_QT_UI_API void ZeravQtUi_setIp(const wchar_t* serverCode, const char* ip);
ZERAV_QT_UI_API void ZeravQtUi_setIpUndefined(void);
ZERAV_QT_UI_API void ZeravQtUi_setIpConnecting(void);
ZERAV_QT_UI_API void ZeravQtUi_setIpDisconnecting(void);
ZERAV_QT_UI_API void ZeravQtUi_setVpnConnectionState(unsigned char state);
ZERAV_QT_UI_API void ZeravQtUi_startServerList(void);
ZERAV_QT_UI_API void ZeravQtUi_addServer(const wchar_t* code, const wchar_t* name, int type, int priority);
ZERAV_QT_UI_API void ZeravQtUi_endServerList(void);
ZERAV_QT_UI_API void ZeravQtUi_selectServerWithCode(const wchar_t* code);
ZERAV_QT_UI_API void ZeravQtUi_addIcon(const wchar_t* code, const char* data, int size);
ZERAV_QT_UI_API void ZeravQtUi_setServerClickCallback(void* context, ServerClickCallback callback);
