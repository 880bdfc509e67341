#pragma once

#include "ZeravQtUi.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

// The menu library as a host sees it: a file opened at run time and sixteen
// functions found by their undecorated names.
struct LoadedLibrary
{
    void* handle = nullptr;
    decltype(&ZeravQtUi_initQtUi) initQtUi = nullptr;
    decltype(&ZeravQtUi_quit) quit = nullptr;
    decltype(&ZeravQtUi_showAt) showAt = nullptr;
    decltype(&ZeravQtUi_setLightTheme) setLightTheme = nullptr;
    decltype(&ZeravQtUi_setDarkTheme) setDarkTheme = nullptr;
    decltype(&ZeravQtUi_setIp) setIp = nullptr;
    decltype(&ZeravQtUi_setIpUndefined) setIpUndefined = nullptr;
    decltype(&ZeravQtUi_setIpConnecting) setIpConnecting = nullptr;
    decltype(&ZeravQtUi_setIpDisconnecting) setIpDisconnecting = nullptr;
    decltype(&ZeravQtUi_setVpnConnectionState) setVpnConnectionState = nullptr;
    decltype(&ZeravQtUi_startServerList) startServerList = nullptr;
    decltype(&ZeravQtUi_addServer) addServer = nullptr;
    decltype(&ZeravQtUi_endServerList) endServerList = nullptr;
    decltype(&ZeravQtUi_selectServerWithCode) selectServerWithCode = nullptr;
    decltype(&ZeravQtUi_addIcon) addIcon = nullptr;
    decltype(&ZeravQtUi_setServerClickCallback) setServerClickCallback = nullptr;

    explicit LoadedLibrary(const char* file)
    {
        handle = dlopen(file, RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            fail("dlopen", dlerror());
        bind(initQtUi, "ZeravQtUi_initQtUi");
        bind(quit, "ZeravQtUi_quit");
        bind(showAt, "ZeravQtUi_showAt");
        bind(setLightTheme, "ZeravQtUi_setLightTheme");
        bind(setDarkTheme, "ZeravQtUi_setDarkTheme");
        bind(setIp, "ZeravQtUi_setIp");
        bind(setIpUndefined, "ZeravQtUi_setIpUndefined");
        bind(setIpConnecting, "ZeravQtUi_setIpConnecting");
        bind(setIpDisconnecting, "ZeravQtUi_setIpDisconnecting");
        bind(setVpnConnectionState, "ZeravQtUi_setVpnConnectionState");
        bind(startServerList, "ZeravQtUi_startServerList");
        bind(addServer, "ZeravQtUi_addServer");
        bind(endServerList, "ZeravQtUi_endServerList");
        bind(selectServerWithCode, "ZeravQtUi_selectServerWithCode");
        bind(addIcon, "ZeravQtUi_addIcon");
        bind(setServerClickCallback, "ZeravQtUi_setServerClickCallback");
    }

    // Returns dlclose's result; the handle is gone either way.
    int unload()
    {
        const int result = dlclose(handle);
        handle = nullptr;
        return result;
    }

private:
    template <typename Function>
    void bind(Function& function, const char* name)
    {
        function = reinterpret_cast<Function>(dlsym(handle, name));
        if (!function)
            fail(name, "not exported");
    }

    [[noreturn]] static void fail(const char* what, const char* why)
    {
        std::fprintf(stderr, "%s: %s\n", what, why ? why : "");
        std::exit(2);
    }
};
