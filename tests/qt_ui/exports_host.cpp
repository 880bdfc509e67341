// A host without Qt: it loads the menu library at run time and drives it
// through its exports alone, then unloads it in the ways a host may.

#include "HostCheck.h"

#include "LoadedLibrary.h"
#include "SlowStartRetry.h"

#include <dlfcn.h>
#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace {

const char svgIcon[] = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"24\" height=\"24\">"
                       "<circle cx=\"12\" cy=\"12\" r=\"10\" fill=\"#d00\"/></svg>";

int clicks = 0;

void countClick(void* context, const wchar_t*)
{
    ++*static_cast<int*>(context);
}

// Every export but init, with arguments of every kind, null pointers included.
void callEveryExport(LoadedLibrary& library)
{
    library.setServerClickCallback(&clicks, &countClick);
    library.setLightTheme();
    library.setDarkTheme();
    library.setIp(L"de", "192.0.2.1");
    library.setIp(nullptr, nullptr);
    library.setIpUndefined();
    library.setIpConnecting();
    library.setIpDisconnecting();
    library.setVpnConnectionState(1);
    library.startServerList();
    library.addServer(L"de", L"Germany", 0, 3);
    library.addServer(L"us", L"United States", 2, 1);
    library.addServer(nullptr, nullptr, 7, -1);
    library.endServerList();
    library.selectServerWithCode(L"de");
    library.selectServerWithCode(nullptr);
    library.addIcon(L"de", svgIcon, int(std::strlen(svgIcon)));
    library.addIcon(L"bad", "not an image", 12);
    library.addIcon(L"none", nullptr, 5);
    library.addIcon(L"negative", svgIcon, -1);
    library.showAt(20, 30);
}

void startUi(LoadedLibrary& library)
{
    if (!library.initQtUi())
        SlowStartRetry::startMissedLimit();
}

void settle()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
}

bool stillLoaded()
{
    void* handle = dlopen(ZERAV_QT_UI_FILE, RTLD_NOW | RTLD_NOLOAD);
    if (handle)
        dlclose(handle);
    return handle != nullptr;
}

// The whole life of the menu in one process: nothing happens before init,
// init succeeds once, requests run, quit ends the loop, and the library stays
// mapped after the host's unload because Qt still refers to its QML.
void lifecycle()
{
    LoadedLibrary library(ZERAV_QT_UI_FILE);
    callEveryExport(library);
    library.quit();

    startUi(library);
    CHECK(!library.initQtUi());

    callEveryExport(library);
    settle();

    library.quit();
    settle();
    CHECK(!library.initQtUi());
    callEveryExport(library);

    CHECK(library.unload() == 0);
    CHECK(stillLoaded());
}

// A library whose UI never started leaves nothing behind and unloads fully.
void unloadBeforeStart()
{
    LoadedLibrary library(ZERAV_QT_UI_FILE);
    callEveryExport(library);
    library.quit();
    CHECK(library.unload() == 0);
    CHECK(!stillLoaded());
}

// A host that forgets quit and unloads: the menu lives on untouched, and the
// process still ends cleanly.
void unloadRunning()
{
    LoadedLibrary library(ZERAV_QT_UI_FILE);
    startUi(library);
    callEveryExport(library);
    settle();
    CHECK(library.unload() == 0);
    CHECK(stillLoaded());

    LoadedLibrary again(ZERAV_QT_UI_FILE);
    CHECK(!again.initQtUi());
    callEveryExport(again);
    settle();
}

// A host that simply ends while the menu is shown.
void exitRunning()
{
    LoadedLibrary library(ZERAV_QT_UI_FILE);
    startUi(library);
    callEveryExport(library);
    settle();
}

std::size_t heapInUse()
{
    return mallinfo2().uordblks;
}

// Requests after quit are dropped, not queued for a loop that will never run
// them: a host that keeps reporting its IP holds on to no memory for it.
void requestsAfterQuit()
{
    constexpr int requests = 200000;
    // A queued request takes a few hundred bytes; this allows 40 each.
    constexpr std::size_t heapGrowthLimit = 8 * 1024 * 1024;
    LoadedLibrary library(ZERAV_QT_UI_FILE);
    startUi(library);
    library.quit();

    const std::size_t before = heapInUse();
    for (int i = 0; i < requests; ++i)
        library.setIp(L"de", "2001:db8::1");
    const std::size_t after = heapInUse();

    std::printf("heap grew by %zu bytes\n", after > before ? after - before : 0);
    CHECK(after < before + heapGrowthLimit);
}

const HostScenario scenarios[] = {
    { "lifecycle", &lifecycle },
    { "unload_before_start", &unloadBeforeStart },
    { "unload_running", &unloadRunning },
    { "exit_running", &exitRunning },
    { "requests_after_quit", &requestsAfterQuit },
};

} // namespace

int main(int argc, char** argv)
{
    return SlowStartRetry::runNamed(argc, argv, scenarios);
}
