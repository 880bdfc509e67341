/* Starts the menu, fills it and quits, as a host's life begins and ends.
 * Exits 1 at the first answer that differs from the header's. */

#include <ZeravQtUi.h>

#include <stdio.h>

static void onClick(void* context, const wchar_t* serverCode)
{
    (void)context;
    (void)serverCode;
}

int main(void)
{
    /* A start that misses its 150 ms on a busy machine goes on by itself;
     * only a second start must be refused. */
    if (!ZeravQtUi_initQtUi())
        puts("the menu was not ready within 150 ms");
    if (ZeravQtUi_initQtUi()) {
        fputs("FAIL: a second start was accepted\n", stderr);
        return 1;
    }

    ZeravQtUi_setServerClickCallback(NULL, onClick);
    ZeravQtUi_setDarkTheme();
    ZeravQtUi_startServerList();
    ZeravQtUi_addServer(L"de", L"Germany", 2, 10);
    ZeravQtUi_addServer(L"nl", L"Netherlands", 1, 5);
    ZeravQtUi_endServerList();
    ZeravQtUi_selectServerWithCode(L"de");
    ZeravQtUi_setIp(L"de", "192.0.2.1");
    ZeravQtUi_setVpnConnectionState(1);
    ZeravQtUi_quit();

    puts("zerav_qt_ui started, took its requests and quit");
    return 0;
}
