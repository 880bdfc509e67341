#pragma once

/* The exported interface of zerav_qt_ui: a small frameless server menu,
 * made with Qt 5.15 Quick, that runs on a UI thread of its own and reports
 * clicks back to the host.
 *
 * Binary interface: C names, undecorated; the C calling convention (__cdecl
 * on Windows, named below); bool is one byte (C99's _Bool, C++'s bool),
 * server codes and names are wchar_t strings (UTF-16 on Windows), the IP text
 * UTF-8. Null strings read as empty. This header compiles on its own as C99
 * or later and as C++. The library copies or converts every argument before
 * the call returns; the host keeps its buffers.
 *
 * Threads: ZeravQtUi_initQtUi starts the UI thread. Every other export may be
 * called from any thread: it converts its arguments on the caller's thread,
 * posts the request to the UI thread and returns at once; requests run in the
 * order posted. Requests before the start, after ZeravQtUi_quit or after the
 * UI thread's loop has ended are dropped rather than queued. The host must
 * not create a Qt application object of its own: the library's is the
 * process's one. Once the UI has started the library stays loaded until the
 * process ends, since Qt keeps pointers into its compiled QML.
 *
 * Exit: a host may exit right after ZeravQtUi_quit. It may also exit without
 * quit, even while a late start is still running, from the thread that called
 * ZeravQtUi_initQtUi or once that thread has ended: the UI thread is stopped
 * before Qt's exit handlers run.
 *
 * Errors: the menu library has no error texts; ZeravQtUi_initQtUi is the only
 * export with a result. */

#if defined(_WIN32)
#  if defined(ZERAV_QT_UI_BUILD)
#    define ZERAV_QT_UI_EXPORT __declspec(dllexport)
#  else
#    define ZERAV_QT_UI_EXPORT __declspec(dllimport)
#  endif
/* Named rather than left to the compiler's default, so that a host built
 * with another default (/Gz, /Gr or /Gv in Visual Studio) still calls the
 * exports, and is called back, the way the library expects. */
#  define ZERAV_QT_UI_CALL __cdecl
#else
#  define ZERAV_QT_UI_EXPORT __attribute__((visibility("default")))
#  define ZERAV_QT_UI_CALL
#endif

#ifdef __cplusplus
#  define ZERAV_QT_UI_API extern "C" ZERAV_QT_UI_EXPORT
#else
#  define ZERAV_QT_UI_API ZERAV_QT_UI_EXPORT
#  include <stdbool.h>
#  include <wchar.h>
#endif

/**
 * A click on a server row.
 *
 * The code string is valid only during the call.
 *
 * Runs on the UI thread, after the menu has hidden itself. It may call any
 * export; ZeravQtUi_quit called from here returns at once and the loop ends
 * after the callback.
 *
 * @param context     The context given to ZeravQtUi_setServerClickCallback.
 * @param serverCode  The code of the server clicked, as given to
 *                    ZeravQtUi_addServer.
 */
typedef void (ZERAV_QT_UI_CALL *ServerClickCallback)(void* context, const wchar_t* serverCode);

/**
 * Starts the menu: a Qt Quick application on a thread of its own, with the
 * menu window loaded and hidden. Waits up to 150 ms for its event loop to
 * run.
 *
 * @return true when the UI thread runs its loop. false when the UI was
 *         started before in this process, or is not running after 150 ms: a
 *         slow start then goes on, and requests reach the menu once its
 *         application exists (earlier ones are dropped); calling again does
 *         not help.
 */
ZERAV_QT_UI_API bool ZERAV_QT_UI_CALL ZeravQtUi_initQtUi(void);

/**
 * Ends the menu's event loop and returns once the menu's thread has ended, so
 * that the host may exit right after. It waits three seconds at most: a click
 * callback that waits for the thread calling quit (a hand-over in the manner
 * of SendMessage) holds the menu's thread, which then ends after the
 * callback. Called from the click callback, it returns at once and the loop
 * ends after the callback.
 *
 * Requests after it are dropped; the menu cannot be started again in this
 * process. Without a start it does nothing.
 */
ZERAV_QT_UI_API void ZERAV_QT_UI_CALL ZeravQtUi_quit(void);

/**
 * Shows the menu with its top left corner at x, y and gives it the focus. The
 * menu hides itself when it loses the focus and when a server is clicked.
 *
 * @param x  Horizontal screen position, in Qt's device-independent pixels.
 * @param y  Vertical screen position, likewise.
 */
ZERAV_QT_UI_API void ZERAV_QT_UI_CALL ZeravQtUi_showAt(int x, int y);

/**
 * Draws the menu in its light colours, which it has from the start.
 */
ZERAV_QT_UI_API void ZERAV_QT_UI_CALL ZeravQtUi_setLightTheme(void);

/**
 * Draws the menu in its dark colours.
 */
ZERAV_QT_UI_API void ZERAV_QT_UI_CALL ZeravQtUi_setDarkTheme(void);

/**
 * Shows the public IP address the host has found, with the icon of the
 * server it belongs to, in the line above the list.
 *
 * @param serverCode  The server's code; its icon (ZeravQtUi_addIcon) is shown
 *                    beside the address, a generic one when it has none.
 * @param ip          The address as text, UTF-8; shown whole, elided in the
 *                    middle when too long.
 */
ZERAV_QT_UI_API void ZERAV_QT_UI_CALL ZeravQtUi_setIp(const wchar_t* serverCode, const char* ip);

/**
 * Shows "Undefined" in place of the IP address.
 */
ZERAV_QT_UI_API void ZERAV_QT_UI_CALL ZeravQtUi_setIpUndefined(void);

/**
 * Shows "Connecting..." in place of the IP address, as the menu does from the
 * start.
 */
ZERAV_QT_UI_API void ZERAV_QT_UI_CALL ZeravQtUi_setIpConnecting(void);

/**
 * Shows "Disconnecting..." in place of the IP address.
 */
ZERAV_QT_UI_API void ZERAV_QT_UI_CALL ZeravQtUi_setIpDisconnecting(void);

/**
 * Sets the connection indicator.
 *
 * @param state  1 shows "Protected"; any other value "Unprotected", which the
 *               menu shows from the start.
 */
ZERAV_QT_UI_API void ZERAV_QT_UI_CALL ZeravQtUi_setVpnConnectionState(unsigned char state);

/**
 * Begins a new server list, which replaces the rows shown so far when it
 * ends.
 */
ZERAV_QT_UI_API void ZERAV_QT_UI_CALL ZeravQtUi_startServerList(void);

/**
 * Adds a server row. Between ZeravQtUi_startServerList and
 * ZeravQtUi_endServerList the row is shown when the list ends, in its sorted
 * place; outside them it is appended at the bottom at once.
 *
 * @param code      The server's code: what the click callback reports and
 *                  the icons, the IP line and the selection refer to.
 * @param name      The name the row shows.
 * @param type      2 for a premium server, listed under "Premium"; any other
 *                  value lists it under "Free".
 * @param priority  The order within its type, highest first.
 */
ZERAV_QT_UI_API void ZERAV_QT_UI_CALL ZeravQtUi_addServer(const wchar_t* code, const wchar_t* name, int type,
                                                          int priority);

/**
 * Ends the server list begun by ZeravQtUi_startServerList: the rows are sorted
 * by type, then by priority, highest first, and shown.
 */
ZERAV_QT_UI_API void ZERAV_QT_UI_CALL ZeravQtUi_endServerList(void);

/**
 * Marks the row of this server with a check mark. The code is kept: a later
 * list marks the same server.
 *
 * @param code  The server's code; one that no row has marks none.
 */
ZERAV_QT_UI_API void ZERAV_QT_UI_CALL ZeravQtUi_selectServerWithCode(const wchar_t* code);

/**
 * Stores the icon of a server, shown in its row and beside its IP address.
 * The bytes are decoded on the caller's thread before the call returns, by
 * their content: any format the Qt image plug-ins at hand read (PNG, SVG,
 * ...). Bytes that do not decode give an empty icon. Before the start and
 * after ZeravQtUi_quit nothing is decoded.
 *
 * @param code  The server's code.
 * @param data  The image file's bytes.
 * @param size  Their number.
 */
ZERAV_QT_UI_API void ZERAV_QT_UI_CALL ZeravQtUi_addIcon(const wchar_t* code, const char* data, int size);

/**
 * Sets the function called when the user clicks a server row. Until it is
 * set, and after a null callback, clicks only hide the menu.
 *
 * @param context   Handed to the callback as it is.
 * @param callback  See ServerClickCallback.
 */
ZERAV_QT_UI_API void ZERAV_QT_UI_CALL ZeravQtUi_setServerClickCallback(void* context, ServerClickCallback callback);
