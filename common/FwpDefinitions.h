#pragma once
// WFP constants that mingw-w64's headers lack. They live in a namespace of
// their own under names of their own, so a later mingw that declares the SDK
// names does not collide with them.

#include <windows.h>
#include <fwpmu.h>

#ifndef FWPM_SESSION_FLAG_DYNAMIC
#define FWPM_SESSION_FLAG_DYNAMIC 0x00000001
#endif

namespace fwp_def {

// Objects added in a session with this flag vanish when the session closes.
inline constexpr UINT32 kSessionFlagDynamic = 0x00000001;

// FWPM_LAYER_ALE_AUTH_CONNECT_V4
inline constexpr GUID kLayerAleAuthConnectV4 = {
    0xc38d57d1, 0x05a7, 0x4c33, {0x90, 0x4f, 0x7f, 0xbc, 0xee, 0xe6, 0x0e, 0x82}};

// FWPM_LAYER_ALE_AUTH_CONNECT_V6
inline constexpr GUID kLayerAleAuthConnectV6 = {
    0x4a72393b, 0x319f, 0x44bc, {0x84, 0xc3, 0xba, 0x54, 0xdc, 0xb3, 0xb6, 0xb4}};

// FWPM_CONDITION_IP_REMOTE_PORT
inline constexpr GUID kConditionIpRemotePort = {
    0xc35a604d, 0xd22b, 0x4e1a, {0x91, 0xb4, 0x68, 0xf6, 0x74, 0xee, 0x67, 0x4b}};

// FWPM_CONDITION_INTERFACE_INDEX
inline constexpr GUID kConditionInterfaceIndex = {
    0x667fd755, 0xd695, 0x434a, {0x8a, 0xf5, 0xd3, 0x83, 0x5a, 0x12, 0x59, 0xbc}};

}  // namespace fwp_def

static_assert(FWPM_SESSION_FLAG_DYNAMIC == fwp_def::kSessionFlagDynamic);
