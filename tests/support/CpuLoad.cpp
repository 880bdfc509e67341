#include "CpuLoad.h"

#include <windows.h>

CpuLoad::CpuLoad()
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    for (DWORD i = 0; i < 2 * system.dwNumberOfProcessors; ++i)
        threads_.emplace_back([this] {
            volatile unsigned spin = 0;
            while (!stop_)
                spin = spin + 1;
        });
}

CpuLoad::~CpuLoad()
{
    stop_ = true;
    for (auto& thread : threads_)
        thread.join();
}
