#include "Archive.h"

#include <cstring>
#include <stdexcept>

namespace lab {

void ArchiveWriter::u32(UINT32 value) { bytes(&value, sizeof value); }

void ArchiveWriter::u64(UINT64 value) { bytes(&value, sizeof value); }

void ArchiveWriter::wide(const std::wstring& text) {
  u32(static_cast<UINT32>(text.size()));
  bytes(text.data(), text.size() * sizeof(wchar_t));
}

void ArchiveWriter::narrow(const std::string& text) {
  u32(static_cast<UINT32>(text.size()));
  bytes(text.data(), text.size());
}

void ArchiveWriter::guid(const GUID& value) { bytes(&value, sizeof value); }

void ArchiveWriter::bytes(const void* data, size_t size) {
  const BYTE* begin = static_cast<const BYTE*>(data);
  data_.insert(data_.end(), begin, begin + size);
}

const BYTE* ArchiveReader::take(size_t size) {
  if (size > data_.size() - offset_) throw std::runtime_error("lab: truncated state");
  const BYTE* at = data_.data() + offset_;
  offset_ += size;
  return at;
}

UINT32 ArchiveReader::u32() {
  UINT32 value;
  bytes(&value, sizeof value);
  return value;
}

UINT64 ArchiveReader::u64() {
  UINT64 value;
  bytes(&value, sizeof value);
  return value;
}

std::wstring ArchiveReader::wide() {
  UINT32 length = u32();
  std::wstring text(length, L'\0');
  bytes(text.data(), static_cast<size_t>(length) * sizeof(wchar_t));
  return text;
}

std::string ArchiveReader::narrow() {
  UINT32 length = u32();
  std::string text(length, '\0');
  bytes(text.data(), length);
  return text;
}

GUID ArchiveReader::guid() {
  GUID value;
  bytes(&value, sizeof value);
  return value;
}

void ArchiveReader::bytes(void* out, size_t size) {
  if (size != 0) std::memcpy(out, take(size), size);
}

}  // namespace lab
