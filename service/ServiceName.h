#pragma once

// The name under which the service control manager knows the service; it is
// also shown to users as its display name.
inline constexpr const wchar_t* serviceName = L"ZeravMobile VPN service";
