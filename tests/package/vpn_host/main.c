/* Uses zerav_VPN.dll the way every host starts: it sets up logging, asks for
 * the status and reads the error queue. Exits 1 at the first answer that
 * differs from the header's. */

#include <ZeravVPN.h>

#include <stdio.h>
#include <string.h>

static int fail(const char* what)
{
    fprintf(stderr, "FAIL: %s\n", what);
    return 1;
}

int main(void)
{
    char text[1024];

    if (ZeravVPN_initLogging(NULL, 0, true))
        return fail("a null log file path was accepted");
    if (!ZeravVPN_errorText(text, sizeof text))
        return fail("no error text was queued for the null log file path");
    printf("queued: %s\n", text);
    if (strcmp(text, "Null pointer passed as log file path") != 0)
        return fail("the error text is not the one documented");

    if (!ZeravVPN_initLogging("zerav_vpn_host.log", 1, true))
        return fail("a log file path was refused");
    if (ZeravVPN_status())
        return fail("the status says connected before any connect");
    if (ZeravVPN_errorText(text, sizeof text))
        return fail("an error text is left in the queue");

    puts("zerav_VPN.dll answers as its header says");
    return 0;
}
