#include "LibraryPin.h"

#include <QtGlobal>

#ifdef Q_OS_WIN

#include <windows.h>

void pinLibrary()
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
        reinterpret_cast<LPCWSTR>(&pinLibrary), &module);
}

bool uiThreadMayRunAtExit()
{
    return false;
}

#else

#include <dlfcn.h>

void pinLibrary()
{
    Dl_info info {};
    if (!dladdr(reinterpret_cast<void*>(&pinLibrary), &info) || !info.dli_fname)
        return;
    // The extra reference is never dropped: with RTLD_NODELETE it would not
    // let the library go anyway.
    dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
}

bool uiThreadMayRunAtExit()
{
    return true;
}

#endif
