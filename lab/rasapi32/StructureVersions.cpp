#include "StructureVersions.h"

#include "common/RasLayouts.h"

#include <cstddef>

namespace lab {

namespace {

// The dial structure before Windows 2000's sub-entry and callback id, and
// before Windows 7's interface index.
constexpr DWORD kDialParamsSizeNt4 = offsetof(RasDialParamsW81, dwSubEntry);
constexpr DWORD kDialParamsSizeW2k = offsetof(RasDialParamsW81, dwIfIndex);
static_assert(kDialParamsSizeNt4 == 2096);
static_assert(kDialParamsSizeW2k == 2108);

struct Version {
  DWORD size;
  WindowsRelease since;
};

const Version kDialParams[] = {
    {kDialParamsSizeNt4, WindowsRelease::Windows7},
    {kDialParamsSizeW2k, WindowsRelease::Windows7},
    {ras_layout::kRasDialParamsSizeW7, WindowsRelease::Windows7},
    {ras_layout::kRasDialParamsSizeW81, WindowsRelease::Windows81},
};

const Version kEntries[] = {
    {ras_layout::kRasEntrySizeXp, WindowsRelease::Windows7},
    {ras_layout::kRasEntrySizeVista, WindowsRelease::Windows7},
    {ras_layout::kRasEntrySizeW7, WindowsRelease::Windows7},
    {ras_layout::kRasEntrySizeW8, WindowsRelease::Windows8},
    {ras_layout::kRasEntrySizeW81, WindowsRelease::Windows81},
};

template <size_t N>
bool takes(const Version (&versions)[N], WindowsRelease release, DWORD size) {
  for (const Version& version : versions)
    if (version.size == size) return version.since <= release;
  return false;
}

}  // namespace

bool StructureVersions::dialParams(WindowsRelease release, DWORD size) { return takes(kDialParams, release, size); }

bool StructureVersions::entry(WindowsRelease release, DWORD size) { return takes(kEntries, release, size); }

DWORD StructureVersions::newestEntry(WindowsRelease release) {
  DWORD newest = 0;
  for (const Version& version : kEntries)
    if (version.since <= release) newest = version.size;
  return newest;
}

}  // namespace lab
