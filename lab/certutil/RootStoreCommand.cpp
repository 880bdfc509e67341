#include "RootStoreCommand.h"

#include "CertificateFile.h"
#include "StateStore.h"

#include "TextFile.h"

#include <algorithm>
#include <cstdio>

namespace lab {

namespace {

constexpr DWORD kInvalidArgument = 0x80070057;  // E_INVALIDARG

const wchar_t* const kOptions[] = {L"-f", L"-user", L"-enterprise"};

bool isOption(const std::wstring& argument) {
  for (const wchar_t* option : kOptions)
    if (_wcsicmp(argument.c_str(), option) == 0) return true;
  return false;
}

bool sameName(const std::wstring& a, const std::wstring& b) { return _wcsicmp(a.c_str(), b.c_str()) == 0; }

}  // namespace

DWORD RootStoreCommand::fail(const std::wstring& verb, DWORD code, const std::wstring& detail) {
  std::wprintf(L"CertUtil: %ls command FAILED: 0x%08lx %ls\n", verb.c_str(), static_cast<unsigned long>(code),
               detail.c_str());
  return code;
}

DWORD RootStoreCommand::run() {
  std::wstring verb;
  std::vector<std::wstring> operands;
  for (const std::wstring& argument : arguments_) {
    if (isOption(argument)) continue;
    if (verb.empty() && !argument.empty() && argument[0] == L'-') verb = argument;
    else operands.push_back(argument);
  }
  if (operands.size() != 2) return fail(verb.empty() ? L"(none)" : verb, kInvalidArgument, L"expected: store and certificate");
  if (sameName(verb, L"-addstore")) return addStore(operands[0], operands[1]);
  if (sameName(verb, L"-delstore")) return delStore(operands[0], operands[1]);
  return fail(verb, kInvalidArgument, L"the lab certutil knows -addstore and -delstore only");
}

DWORD RootStoreCommand::addStore(const std::wstring& store, const std::wstring& file) {
  if (!sameName(store, L"root")) return fail(L"-addstore", kInvalidArgument, L"only the root store exists");
  CertificateFile certificate;
  if (DWORD error = certificate.load(file)) return fail(L"-addstore", error, file);
  RootCertificate record{certificate.commonName(), file, certificate.sha1()};
  StateStore::update([&](LabState& state) {
    auto& certificates = state.data.rootStore;
    for (RootCertificate& existing : certificates)
      if (existing.sha1 == record.sha1) return void(existing = record);
    certificates.push_back(record);
  });
  std::wprintf(L"root \"Trusted Root Certification Authorities\"\nCertificate \"%ls\" added to store.\n"
               L"CertUtil: -addstore command completed successfully.\n",
               record.name.c_str());
  return ERROR_SUCCESS;
}

DWORD RootStoreCommand::delStore(const std::wstring& store, const std::wstring& name) {
  if (!sameName(store, L"root")) return fail(L"-delstore", kInvalidArgument, L"only the root store exists");
  size_t removed = StateStore::update([&](LabState& state) {
    auto& certificates = state.data.rootStore;
    size_t before = certificates.size();
    certificates.erase(std::remove_if(certificates.begin(), certificates.end(),
                                      [&](const RootCertificate& c) {
                                        return sameName(c.name, name) || sameName(fromUtf8(c.sha1), name);
                                      }),
                       certificates.end());
    return before - certificates.size();
  });
  if (removed == 0) return fail(L"-delstore", static_cast<DWORD>(CRYPT_E_NOT_FOUND), L"Cannot find object or property.");
  std::wprintf(L"root \"Trusted Root Certification Authorities\"\nDeleting Certificate \"%ls\"\n"
               L"CertUtil: -delstore command completed successfully.\n",
               name.c_str());
  return ERROR_SUCCESS;
}

}  // namespace lab
