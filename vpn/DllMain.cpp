#include "LibraryMutexes.h"

#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        return createLibraryMutexes() ? TRUE : FALSE;
    return TRUE;
}
