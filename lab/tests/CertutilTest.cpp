// The lab certutil as the shell starts it by its bare name: it changes the
// root store and records the exact command line it was given.

#include "LabInspect.h"
#include "LabTestSupport.h"
#include "UniqueHandle.h"

#include <gtest/gtest.h>
#include <shellapi.h>

namespace {

constexpr wchar_t kCertificateName[] = L"VPN Lab Test Root";

// Runs certutil through ShellExecuteEx and returns its exit code.
DWORD certutil(const std::wstring& parameters) {
  SHELLEXECUTEINFOW run{};
  run.cbSize = sizeof run;
  run.fMask = SEE_MASK_NOCLOSEPROCESS;
  run.lpFile = L"certutil";
  run.lpParameters = parameters.c_str();
  run.nShow = SW_HIDE;
  if (!ShellExecuteExW(&run) || run.hProcess == nullptr) return ~0u;
  lab::UniqueHandle process(run.hProcess);
  WaitForSingleObject(process.get(), 30000);
  DWORD exitCode = ~0u;
  GetExitCodeProcess(process.get(), &exitCode);
  return exitCode;
}

bool inRootStore() {
  lab::Snapshot state = lab::snapshot();
  return std::any_of(state.rootStore.begin(), state.rootStore.end(),
                     [](const lab::RootCertificate& c) { return c.name == kCertificateName; });
}

bool recorded(const std::wstring& parameters, DWORD exitCode) {
  lab::Snapshot state = lab::snapshot();
  return std::any_of(state.certutilRuns.begin(), state.certutilRuns.end(), [&](const lab::CertutilRun& r) {
    return r.commandLine == parameters && r.exitCode == exitCode;
  });
}

TEST(Certutil, AddsAndDeletesRootCertificatesByTheirCommonName) {
  std::wstring add = L"-addstore -f -enterprise -user root \"" + labtest::besideTests(L"labTestCert.der") + L"\"";
  std::wstring remove = L"-delstore -enterprise root \"" + std::wstring(kCertificateName) + L"\"";

  ASSERT_EQ(certutil(add), 0u);
  EXPECT_TRUE(inRootStore());
  EXPECT_TRUE(recorded(add, 0));

  ASSERT_EQ(certutil(remove), 0u);
  EXPECT_FALSE(inRootStore());
  EXPECT_TRUE(recorded(remove, 0));

  EXPECT_EQ(certutil(remove), static_cast<DWORD>(CRYPT_E_NOT_FOUND));
  std::wstring missing = L"-addstore -f -enterprise -user root \"" + labtest::besideTests(L"absent.der") + L"\"";
  EXPECT_EQ(certutil(missing), static_cast<DWORD>(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)));
}

}  // namespace
