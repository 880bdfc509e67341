#include "BuiltinIphlpapi.h"

#include <string>

namespace lab {

namespace {

DWORD WINAPI notSupported() { return ERROR_NOT_SUPPORTED; }

HMODULE thisModule() {
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&notSupported), &self);
  return self;
}

// Loaded once and kept for the life of the process. A loader that hands
// back this very module instead of the system's must not make every call
// forward to itself.
HMODULE systemModule() {
  static HMODULE module = [] {
    wchar_t directory[MAX_PATH];
    UINT length = GetSystemDirectoryW(directory, MAX_PATH);
    std::wstring path = std::wstring(directory, length) + L"\\iphlpapi.dll";
    HMODULE loaded = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    return loaded == thisModule() ? nullptr : loaded;
  }();
  return module;
}

}  // namespace

FARPROC BuiltinIphlpapi::find(const char* name) {
  HMODULE module = systemModule();
  FARPROC function = module ? GetProcAddress(module, name) : nullptr;
  return function ? function : reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&notSupported));
}

}  // namespace lab
