#include "Phonebook.h"

#include "EntryRules.h"
#include "StateStore.h"
#include "StructureVersions.h"

#include <raserror.h>

#include <cstring>

namespace lab {

namespace {

bool isDefaultEntry(LPCWSTR name) { return name == nullptr || name[0] == L'\0'; }

DWORD copyOut(const RasEntryW81& stored, BYTE* entry, DWORD* entrySize) {
  if (entry == nullptr || *entrySize < sizeof(DWORD)) {
    *entrySize = StructureVersions::newestEntry(toldRelease());
    return ERROR_BUFFER_TOO_SMALL;
  }
  DWORD size = reinterpret_cast<const RasEntryW7*>(entry)->dwSize;
  if (!StructureVersions::entry(toldRelease(), size)) return ERROR_INVALID_SIZE;
  if (*entrySize < size) {
    *entrySize = size;
    return ERROR_BUFFER_TOO_SMALL;
  }
  std::memcpy(entry, &stored, size);
  reinterpret_cast<RasEntryW7*>(entry)->dwSize = size;
  *entrySize = size;
  return ERROR_SUCCESS;
}

}  // namespace

// Entry names follow RasValidateEntryName: not empty, not longer than
// RAS_MaxEntryName, not starting with a dot, none of the characters that a
// phone book file cannot hold.
DWORD Phonebook::validateName(LPCWSTR phonebook, LPCWSTR entryName) {
  if (phonebook != nullptr) return ERROR_CANNOT_OPEN_PHONEBOOK;
  if (isDefaultEntry(entryName) || entryName[0] == L'.' || wcslen(entryName) > RAS_MaxEntryName ||
      wcspbrk(entryName, L"\\/:*?\"<>|\r\n") != nullptr)
    return ERROR_INVALID_NAME;
  return ERROR_SUCCESS;
}

DWORD Phonebook::getProperties(LPCWSTR phonebook, LPCWSTR entryName, BYTE* entry, DWORD* entrySize,
                               DWORD* deviceInfoSize) {
  if (phonebook != nullptr) return ERROR_CANNOT_OPEN_PHONEBOOK;
  if (entrySize == nullptr) return ERROR_INVALID_PARAMETER;
  if (deviceInfoSize != nullptr) *deviceInfoSize = 0;
  RasEntryW81 stored{};
  if (!isDefaultEntry(entryName)) {
    bool found = StateStore::update([&](LabState& state) {
      const PhonebookEntry* existing = state.findEntry(entryName);
      if (existing != nullptr) stored = existing->entry;
      return existing != nullptr;
    });
    if (!found) return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
  }
  return copyOut(stored, entry, entrySize);
}

// The checks go from the name to the buffer to the structure's version to
// its contents. A buffer that is missing or shorter than the version it
// claims is ERROR_BUFFER_INVALID, "the address or buffer specified by
// lpRasEntry is invalid"; a version the release does not know is
// ERROR_INVALID_SIZE.
DWORD Phonebook::setProperties(LPCWSTR phonebook, LPCWSTR entryName, const BYTE* entry, DWORD entrySize) {
  if (DWORD invalid = validateName(phonebook, entryName)) return invalid;
  if (entry == nullptr || entrySize < sizeof(DWORD)) return ERROR_BUFFER_INVALID;
  DWORD size = reinterpret_cast<const RasEntryW7*>(entry)->dwSize;
  if (!StructureVersions::entry(toldRelease(), size)) return ERROR_INVALID_SIZE;
  if (entrySize < size) return ERROR_BUFFER_INVALID;

  PhonebookEntry stored{entryName, size, {}};
  std::memcpy(&stored.entry, entry, size);
  if (DWORD refused = EntryRules::check(stored.entry.w7)) return refused;
  StateStore::update([&](LabState& state) {
    if (PhonebookEntry* existing = state.findEntry(entryName)) *existing = stored;
    else state.data.entries.push_back(stored);
  });
  return ERROR_SUCCESS;
}

DWORD Phonebook::deleteEntry(LPCWSTR phonebook, LPCWSTR entryName) {
  if (phonebook != nullptr) return ERROR_CANNOT_OPEN_PHONEBOOK;
  if (isDefaultEntry(entryName)) return ERROR_INVALID_NAME;
  bool removed = StateStore::update([&](LabState& state) {
    auto& entries = state.data.entries;
    for (auto it = entries.begin(); it != entries.end(); ++it) {
      if (_wcsicmp(it->name.c_str(), entryName) != 0) continue;
      entries.erase(it);
      return true;
    }
    return false;
  });
  return removed ? ERROR_SUCCESS : ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
}

}  // namespace lab
