#pragma once
// Windows 7 and later layouts of the RAS structures whose mingw-w64
// declarations stop at the Windows XP/Vista members. The names differ from
// the SDK's so that a later mingw header cannot clash with them; the packing
// is the SDK's (4), so a 64-bit HRASCONN may sit on a 4-byte boundary.

#include <windows.h>
#include <ras.h>

#include <cstddef>

#include <pshpack4.h>

namespace ras_layout {

constexpr int kMaxIdSize = 256;

struct Ipv4Addr {
  BYTE bytes[4];
};

struct Ipv6Addr {
  BYTE bytes[16];
};

struct TunnelEndpoint {
  DWORD dwType;
  union {
    Ipv4Addr ipv4;
    Ipv6Addr ipv6;
  };
};

}  // namespace ras_layout

// RASENTRYW as Windows 7 defines it (WINVER 0x601).
struct RasEntryW7 {
  DWORD dwSize;
  DWORD dwfOptions;
  DWORD dwCountryID;
  DWORD dwCountryCode;
  WCHAR szAreaCode[RAS_MaxAreaCode + 1];
  WCHAR szLocalPhoneNumber[RAS_MaxPhoneNumber + 1];
  DWORD dwAlternateOffset;
  RASIPADDR ipaddr;
  RASIPADDR ipaddrDns;
  RASIPADDR ipaddrDnsAlt;
  RASIPADDR ipaddrWins;
  RASIPADDR ipaddrWinsAlt;
  DWORD dwFrameSize;
  DWORD dwfNetProtocols;
  DWORD dwFramingProtocol;
  WCHAR szScript[MAX_PATH];
  WCHAR szAutodialDll[MAX_PATH];
  WCHAR szAutodialFunc[MAX_PATH];
  WCHAR szDeviceType[RAS_MaxDeviceType + 1];
  WCHAR szDeviceName[RAS_MaxDeviceName + 1];
  WCHAR szX25PadType[RAS_MaxPadType + 1];
  WCHAR szX25Address[RAS_MaxX25Address + 1];
  WCHAR szX25Facilities[RAS_MaxFacilities + 1];
  WCHAR szX25UserData[RAS_MaxUserData + 1];
  DWORD dwChannels;
  DWORD dwReserved1;
  DWORD dwReserved2;
  DWORD dwSubEntries;
  DWORD dwDialMode;
  DWORD dwDialExtraPercent;
  DWORD dwDialExtraSampleSeconds;
  DWORD dwHangUpExtraPercent;
  DWORD dwHangUpExtraSampleSeconds;
  DWORD dwIdleDisconnectSeconds;
  DWORD dwType;
  DWORD dwEncryptionType;
  DWORD dwCustomAuthKey;
  GUID guidId;
  WCHAR szCustomDialDll[MAX_PATH];
  DWORD dwVpnStrategy;
  DWORD dwfOptions2;
  DWORD dwfOptions3;
  WCHAR szDnsSuffix[RAS_MaxDnsSuffix];
  DWORD dwTcpWindowSize;
  WCHAR szPrerequisitePbk[MAX_PATH];
  WCHAR szPrerequisiteEntry[RAS_MaxEntryName + 1];
  DWORD dwRedialCount;
  DWORD dwRedialPause;
  ras_layout::Ipv6Addr ipv6addrDns;
  ras_layout::Ipv6Addr ipv6addrDnsAlt;
  DWORD dwIPv4InterfaceMetric;
  DWORD dwIPv6InterfaceMetric;
  ras_layout::Ipv6Addr ipv6addr;
  DWORD dwIPv6PrefixLength;
  DWORD dwNetworkOutageTime;
};

// RASENTRYW as Windows 8.1 and later define it: the Windows 7 entry followed
// by the IKEv2 identities (Windows 8) and the fragmentation switch (8.1).
// This is the size the default-entry size query reports on those systems.
struct RasEntryW81 {
  RasEntryW7 w7;
  WCHAR szIDi[ras_layout::kMaxIdSize + 1];
  WCHAR szIDr[ras_layout::kMaxIdSize + 1];
  BOOL fIsImsConfig;
  DWORD IdiType;
  DWORD IdrType;
  BOOL fDisableIKEv2Fragmentation;
};

// RASCONNW of Windows 7 and later (adds the correlation id).
struct RasConnW7 {
  DWORD dwSize;
  HRASCONN hrasconn;
  WCHAR szEntryName[RAS_MaxEntryName + 1];
  WCHAR szDeviceType[RAS_MaxDeviceType + 1];
  WCHAR szDeviceName[RAS_MaxDeviceName + 1];
  WCHAR szPhonebook[MAX_PATH];
  DWORD dwSubEntry;
  GUID guidEntry;
  DWORD dwFlags;
  LUID luid;
  GUID guidCorrelationId;
};

// RASCONNSTATUSW of Windows 7 and later (adds the tunnel end points and the
// connection sub-state).
struct RasConnStatusW7 {
  DWORD dwSize;
  RASCONNSTATE rasconnstate;
  DWORD dwError;
  WCHAR szDeviceType[RAS_MaxDeviceType + 1];
  WCHAR szDeviceName[RAS_MaxDeviceName + 1];
  WCHAR szPhoneNumber[RAS_MaxPhoneNumber + 1];
  ras_layout::TunnelEndpoint localEndPoint;
  ras_layout::TunnelEndpoint remoteEndPoint;
  DWORD rasconnsubstate;
};

// RASDIALPARAMSW of Windows 8.1 and later. Windows 7 and 8 take the same
// structure without its last member (kRasDialParamsSizeW7).
struct RasDialParamsW81 {
  DWORD dwSize;
  WCHAR szEntryName[RAS_MaxEntryName + 1];
  WCHAR szPhoneNumber[RAS_MaxPhoneNumber + 1];
  WCHAR szCallbackNumber[RAS_MaxCallbackNumber + 1];
  WCHAR szUserName[UNLEN + 1];
  WCHAR szPassword[PWLEN + 1];
  WCHAR szDomain[DNLEN + 1];
  DWORD dwSubEntry;
  ULONG_PTR dwCallbackId;
  DWORD dwIfIndex;
  LPWSTR szEncPassword;
};

#include <poppack.h>

namespace ras_layout {

// Sizes of the structure versions that callers may pass in dwSize.
constexpr DWORD kRasEntrySizeXp = offsetof(RasEntryW7, ipv6addrDns);
constexpr DWORD kRasEntrySizeVista = offsetof(RasEntryW7, ipv6addr);
constexpr DWORD kRasEntrySizeW7 = sizeof(RasEntryW7);
constexpr DWORD kRasEntrySizeW8 = offsetof(RasEntryW81, fDisableIKEv2Fragmentation);
constexpr DWORD kRasEntrySizeW81 = sizeof(RasEntryW81);

constexpr DWORD kRasConnSizeXp = offsetof(RasConnW7, guidCorrelationId);
constexpr DWORD kRasConnSizeW7 = sizeof(RasConnW7);

constexpr DWORD kRasConnStatusSizeXp = offsetof(RasConnStatusW7, localEndPoint);
constexpr DWORD kRasConnStatusSizeW7 = sizeof(RasConnStatusW7);

constexpr DWORD kRasDialParamsSizeW7 = offsetof(RasDialParamsW81, szEncPassword);
constexpr DWORD kRasDialParamsSizeW81 = sizeof(RasDialParamsW81);

// RASEO2_* bits that mingw's header may lack.
constexpr DWORD kOptions2IPv4ExplicitMetric = 0x00010000;
constexpr DWORD kOptions2IPv6ExplicitMetric = 0x00020000;

// dwVpnStrategy value for an IKEv2-only entry (VS_Ikev2Only; 8 would be
// VS_Ikev2First, which falls back to other tunnel protocols).
constexpr DWORD kVpnStrategyIkev2Only = 7;

}  // namespace ras_layout






// The members that Windows XP already had sit where mingw's declarations put
// them; the newer ones sit where the Windows SDK puts them.
static_assert(offsetof(RasEntryW7, dwRedialPause) == offsetof(RASENTRYW, dwRedialPause));
static_assert(offsetof(RasConnW7, luid) == offsetof(RASCONNW, luid));
static_assert(offsetof(RasDialParamsW81, dwCallbackId) == offsetof(RASDIALPARAMSW, dwCallbackId));

static_assert(sizeof(ras_layout::TunnelEndpoint) == 20);

static_assert(offsetof(RasEntryW7, dwfOptions) == 4);
static_assert(offsetof(RasEntryW7, szLocalPhoneNumber) == 38);
static_assert(offsetof(RasEntryW7, dwfNetProtocols) == 324);
static_assert(offsetof(RasEntryW7, szDeviceType) == 1892);
static_assert(offsetof(RasEntryW7, dwType) == 3496);
static_assert(offsetof(RasEntryW7, dwEncryptionType) == 3500);
static_assert(offsetof(RasEntryW7, dwVpnStrategy) == 4044);
static_assert(offsetof(RasEntryW7, dwfOptions2) == 4048);
static_assert(offsetof(RasEntryW7, dwRedialCount) == 5608);
static_assert(offsetof(RasEntryW7, dwRedialPause) == 5612);
static_assert(offsetof(RasEntryW7, dwIPv4InterfaceMetric) == 5648);
static_assert(offsetof(RasEntryW7, dwIPv6InterfaceMetric) == 5652);
static_assert(offsetof(RasEntryW7, dwNetworkOutageTime) == 5676);
static_assert(offsetof(RasEntryW81, szIDi) == 5680);
static_assert(offsetof(RasEntryW81, fDisableIKEv2Fragmentation) == 6720);
static_assert(ras_layout::kRasEntrySizeXp == 5616);
static_assert(ras_layout::kRasEntrySizeVista == 5656);
static_assert(ras_layout::kRasEntrySizeW7 == 5680);
static_assert(ras_layout::kRasEntrySizeW8 == 6720);
static_assert(ras_layout::kRasEntrySizeW81 == 6724);

static_assert(offsetof(RasConnW7, hrasconn) == 4);
static_assert(offsetof(RasConnW7, szEntryName) == 12);
static_assert(offsetof(RasConnW7, luid) == 1364);
static_assert(ras_layout::kRasConnSizeXp == 1372);
static_assert(ras_layout::kRasConnSizeW7 == 1388);

static_assert(offsetof(RasConnStatusW7, rasconnstate) == 4);
static_assert(offsetof(RasConnStatusW7, dwError) == 8);
static_assert(ras_layout::kRasConnStatusSizeXp == 564);
static_assert(ras_layout::kRasConnStatusSizeW7 == 608);

static_assert(offsetof(RasDialParamsW81, szEntryName) == 4);
static_assert(offsetof(RasDialParamsW81, szUserName) == 1034);
static_assert(offsetof(RasDialParamsW81, szPassword) == 1548);
static_assert(offsetof(RasDialParamsW81, dwCallbackId) == 2100);
static_assert(ras_layout::kRasDialParamsSizeW7 == 2112);
static_assert(ras_layout::kRasDialParamsSizeW81 == 2120);
