#include "HangUpCompletion.h"

#include "LabInspect.h"
#include "StateStore.h"

#include <algorithm>
#include <cwchar>
#include <exception>

namespace lab {

namespace {

// Sleep and the lab's clock may disagree by a tick; a few more naps cover
// that without waiting for ever.
constexpr int kNaps = 5;

struct Job {
  ULONGLONG closeAtMs;
  HMODULE module;
};

// Settling the state closes every due connection of a live closer, this
// process's included.
DWORD WINAPI closeWhenDue(void* parameter) {
  Job job = *static_cast<Job*>(parameter);
  delete static_cast<Job*>(parameter);
  for (int nap = 0; nap < kNaps; ++nap) {
    ULONGLONG now = StateStore::nowMs();
    if (now >= job.closeAtMs) break;
    Sleep(static_cast<DWORD>(std::min<ULONGLONG>(job.closeAtMs - now + 1, kMaxHangUpDelayMs)));
  }
  try {
    StateStore::update([](LabState&) {});
  } catch (const std::exception&) {
    // The next access of any process completes it while this one lives.
  }
  FreeLibraryAndExitThread(job.module, 0);
}

}  // namespace

DWORD HangUpCompletion::delayMs(DWORD machineSetting) {
  wchar_t text[16];
  DWORD length = GetEnvironmentVariableW(kHangUpDelayVariable, text, 16);
  if (length == 0 || length >= 16) return machineSetting;
  wchar_t* end = nullptr;
  unsigned long value = std::wcstoul(text, &end, 10);
  if (end == text || *end != L'\0') return machineSetting;
  return static_cast<DWORD>(std::min<unsigned long>(value, kMaxHangUpDelayMs));
}

// The thread holds a reference on this DLL, so a caller may unload
// rasapi32 while a hang-up is still under way.
void HangUpCompletion::schedule(ULONGLONG closeAtMs) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                          reinterpret_cast<LPCWSTR>(reinterpret_cast<void*>(&closeWhenDue)), &module))
    return;
  auto* job = new Job{closeAtMs, module};
  HANDLE thread = CreateThread(nullptr, 0, closeWhenDue, job, 0, nullptr);
  if (thread != nullptr) {
    CloseHandle(thread);
    return;
  }
  delete job;
  FreeLibrary(module);
}

}  // namespace lab
