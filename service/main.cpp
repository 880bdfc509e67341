#include "CommandTable.h"
#include "LogRecord.h"
#include "ServiceMain.h"
#include "ServiceName.h"
#include "StringConversion.h"
#include "WindowsErrorText.h"
#include "ZeravVPN.h"

namespace {

// The library learns first that it runs in the service, before any call that
// takes its lock. Its clean-up finds the connections to hang up by the entry
// name.
void configureLibrary()
{
    ZeravVPN_setService(true);
    ZeravVPN_setConfig("Zerav VPN", "", "", "", "", 0);
}

// Returns when the service has stopped, or at once when the program was not
// started by the service control manager.
void runService()
{
    configureLibrary();
    SERVICE_TABLE_ENTRYW table[] = {{const_cast<LPWSTR>(serviceName), SvcMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(table))
        log(LogLevel::Error, "StartServiceCtrlDispatcher() failed: ", windowsErrorText(GetLastError()));
}

void runCommand(const std::wstring& argument)
{
    const CommandHandler handler = findCommand(argument);
    if (handler)
        handler();
    else
        log(LogLevel::Error, "Unexpected command line option: ", toUtf8(argument));
}

} // namespace

// Without arguments the program is the service; with one it manages it.
// Every outcome is in the log, never in the exit code.
int wmain(int argc, wchar_t* argv[])
{
    if (argc < 2)
        runService();
    else
        runCommand(argv[1]);
    return 0;
}
