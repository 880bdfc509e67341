#include "CertificateFile.h"

#include "TextFile.h"

#include <cstdio>
#include <vector>

namespace lab {

DWORD CertificateFile::load(const std::wstring& path) {
  std::optional<std::string> bytes = readTextFile(path);
  if (!bytes) return HRESULT_FROM_WIN32(GetLastError());
  context_.reset(CertCreateCertificateContext(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING,
                                              reinterpret_cast<const BYTE*>(bytes->data()),
                                              static_cast<DWORD>(bytes->size())));
  if (!context_) return static_cast<DWORD>(GetLastError());
  return ERROR_SUCCESS;
}

std::wstring CertificateFile::commonName() const {
  DWORD size = CertGetNameStringW(context_.get(), CERT_NAME_ATTR_TYPE, 0, const_cast<char*>(szOID_COMMON_NAME),
                                  nullptr, 0);
  std::vector<wchar_t> name(size);
  CertGetNameStringW(context_.get(), CERT_NAME_ATTR_TYPE, 0, const_cast<char*>(szOID_COMMON_NAME), name.data(),
                     size);
  return std::wstring(name.data());
}

std::string CertificateFile::sha1() const {
  BYTE hash[20];
  DWORD size = sizeof hash;
  if (!CertGetCertificateContextProperty(context_.get(), CERT_SHA1_HASH_PROP_ID, hash, &size)) return {};
  std::string text;
  char digit[3];
  for (DWORD i = 0; i < size; ++i) {
    std::snprintf(digit, sizeof digit, "%02x", hash[i]);
    text += digit;
  }
  return text;
}

}  // namespace lab
