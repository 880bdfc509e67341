#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace lab {

// One certutil run against the lab's root store: -addstore adds a DER
// certificate file under its subject's common name, -delstore removes
// certificates by that name (or SHA-1 hash). The store name must be "root";
// -f, -user and -enterprise are accepted and all reach the same store.
class RootStoreCommand {
 public:
  explicit RootStoreCommand(std::vector<std::wstring> arguments) : arguments_(std::move(arguments)) {}

  // Runs the command, prints what certutil would, and returns the exit
  // code (an HRESULT, 0 on success).
  DWORD run();

 private:
  DWORD addStore(const std::wstring& store, const std::wstring& file);
  DWORD delStore(const std::wstring& store, const std::wstring& name);
  DWORD fail(const std::wstring& verb, DWORD code, const std::wstring& detail);

  std::vector<std::wstring> arguments_;
};

}  // namespace lab
