#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <memory>
#include <string>

namespace lab {

// A DER certificate read from a file and decoded by the system's crypt32.
class CertificateFile {
 public:
  // 0 on success, else an HRESULT as certutil reports it.
  DWORD load(const std::wstring& path);

  std::wstring commonName() const;
  std::string sha1() const;

 private:
  struct Free {
    void operator()(const CERT_CONTEXT* context) const { CertFreeCertificateContext(context); }
  };
  std::unique_ptr<const CERT_CONTEXT, Free> context_;
};

}  // namespace lab
