#pragma once

#include <atomic>
#include <thread>
#include <vector>

// Busy threads, two per processor, for as long as the object lives: the
// scheduling that brings out races which an idle machine hides.
class CpuLoad {
public:
    CpuLoad();
    ~CpuLoad();
    CpuLoad(const CpuLoad&) = delete;
    CpuLoad& operator=(const CpuLoad&) = delete;

private:
    std::atomic<bool> stop_{false};
    std::vector<std::thread> threads_;
};
