#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace lab {

// Little-endian binary encoding of the lab state.
class ArchiveWriter {
 public:
  void u32(UINT32 value);
  void u64(UINT64 value);
  void wide(const std::wstring& text);
  void narrow(const std::string& text);
  void guid(const GUID& value);
  void bytes(const void* data, size_t size);

  template <class T, class Fn>
  void list(const std::vector<T>& items, Fn&& writeOne) {
    u32(static_cast<UINT32>(items.size()));
    for (const T& item : items) writeOne(*this, item);
  }

  const std::vector<BYTE>& data() const { return data_; }

 private:
  std::vector<BYTE> data_;
};

// Reads what ArchiveWriter wrote; throws std::runtime_error when the data
// ends early.
class ArchiveReader {
 public:
  explicit ArchiveReader(const std::vector<BYTE>& data) : data_(data) {}

  UINT32 u32();
  UINT64 u64();
  std::wstring wide();
  std::string narrow();
  GUID guid();
  void bytes(void* out, size_t size);

  template <class T, class Fn>
  std::vector<T> list(Fn&& readOne) {
    UINT32 count = u32();
    std::vector<T> items;
    for (UINT32 i = 0; i < count; ++i) items.push_back(readOne(*this));
    return items;
  }

 private:
  const BYTE* take(size_t size);

  const std::vector<BYTE>& data_;
  size_t offset_ = 0;
};

}  // namespace lab
