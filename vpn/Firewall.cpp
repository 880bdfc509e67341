#include "Firewall.h"

#include "FwpDefinitions.h"
#include "LogRecord.h"
#include "UniqueHandle.h"
#include "WindowsError.h"

namespace {

// {B7C6D11F-D3F1-4FB9-8DA8-525116322F76}
constexpr GUID subLayerKey = {0xb7c6d11f, 0xd3f1, 0x4fb9, {0x8d, 0xa8, 0x52, 0x51, 0x16, 0x32, 0x2f, 0x76}};

constexpr UINT16 dnsPort = 53;
constexpr UINT8 permitWeight = 15;

using DnsFlushResolverCacheFunction = BOOL(WINAPI*)();

FWPM_FILTER_CONDITION0 remotePortCondition()
{
    FWPM_FILTER_CONDITION0 condition = {};
    condition.fieldKey = fwp_def::kConditionIpRemotePort;
    condition.matchType = FWP_MATCH_EQUAL;
    condition.conditionValue.type = FWP_UINT16;
    condition.conditionValue.uint16 = dnsPort;
    return condition;
}

FWPM_FILTER_CONDITION0 interfaceCondition(UINT32 interfaceIndex)
{
    FWPM_FILTER_CONDITION0 condition = {};
    condition.fieldKey = fwp_def::kConditionInterfaceIndex;
    condition.matchType = FWP_MATCH_EQUAL;
    condition.conditionValue.type = FWP_UINT32;
    condition.conditionValue.uint32 = interfaceIndex;
    return condition;
}

} // namespace

void WfpEngineTraits::close(HANDLE engine) noexcept
{
    FwpmEngineClose0(engine);
}

Firewall& Firewall::instance()
{
    static Firewall firewall;
    return firewall;
}

void Firewall::closeSession()
{
    if (!engine_)
        return;
    // A failed close keeps the session, so a later lock or unlock tries again.
    checkWindowsError("FwpmEngineClose0", FwpmEngineClose0(engine_.get()));
    engine_.release();
}

void Firewall::lock_DNS_leaks(unsigned long interfaceIndex)
{
    log(LogLevel::Trace, "Firewall::lock_DNS_leaks");
    closeSession();
    FWPM_SESSION0 session = {};
    session.flags = FWPM_SESSION_FLAG_DYNAMIC;
    checkWindowsError("FwpmEngineOpen0", FwpmEngineOpen0(nullptr, RPC_C_AUTHN_WINNT, nullptr, &session, engine_.put()));
    addSubLayer();
    addFilters(interfaceIndex);
    log(LogLevel::Info, "Firewall rules added");
}

void Firewall::addSubLayer()
{
    FWPM_SUBLAYER0* existing = nullptr;
    if (FwpmSubLayerGetByKey0(engine_.get(), &subLayerKey, &existing) == ERROR_SUCCESS) {
        FwpmFreeMemory0(reinterpret_cast<void**>(&existing));
        return;
    }
    FWPM_SUBLAYER0 subLayer = {};
    subLayer.subLayerKey = subLayerKey;
    subLayer.displayData.name = const_cast<wchar_t*>(displayName_);
    subLayer.displayData.description = const_cast<wchar_t*>(displayName_);
    subLayer.weight = 0x100;
    checkWindowsError("FwpmSubLayerAdd0", FwpmSubLayerAdd0(engine_.get(), &subLayer, nullptr));
}

// The permit filters go first and carry the highest weight, so a partial
// lock can only ever leave DNS open, never shut through the tunnel too.
void Firewall::addFilters(unsigned long interfaceIndex)
{
    FWPM_FILTER_CONDITION0 conditions[] = {remotePortCondition(), interfaceCondition(interfaceIndex)};
    struct Rule {
        const char* what;
        const GUID& layer;
        bool permit;
    };
    const Rule rules[] = {
        {"FwpmFilterAdd0 permit IPv4", fwp_def::kLayerAleAuthConnectV4, true},
        {"FwpmFilterAdd0 permit IPv6", fwp_def::kLayerAleAuthConnectV6, true},
        {"FwpmFilterAdd0 block IPv4", fwp_def::kLayerAleAuthConnectV4, false},
        {"FwpmFilterAdd0 block IPv6", fwp_def::kLayerAleAuthConnectV6, false},
    };
    for (const Rule& rule : rules) {
        FWPM_FILTER0 filter = {};
        filter.displayData.name = const_cast<wchar_t*>(displayName_);
        filter.layerKey = rule.layer;
        filter.subLayerKey = subLayerKey;
        filter.weight.type = rule.permit ? FWP_UINT8 : FWP_EMPTY;
        if (rule.permit)
            filter.weight.uint8 = permitWeight;
        filter.numFilterConditions = rule.permit ? 2 : 1;
        filter.filterCondition = conditions;
        filter.action.type = rule.permit ? FWP_ACTION_PERMIT : FWP_ACTION_BLOCK;
        UINT64 filterId = 0;
        checkWindowsError(rule.what, FwpmFilterAdd0(engine_.get(), &filter, nullptr, &filterId));
    }
}

void Firewall::unlock_DNS_leaks()
{
    log(LogLevel::Trace, "Firewall::unlock_DNS_leaks");
    closeSession();
    log(LogLevel::Info, "Firewall rules deleted");
}

// A failing step whose last error is 0 is let through, as the error check
// accepts 0: the flush is a courtesy, not part of the lock.
void Firewall::flush_DNS_cache()
{
    log(LogLevel::Trace, "Firewall::flush_DNS_cache");
    // From the system folder only: the service runs this as LocalSystem, and
    // a plain search would look in the program's folder first.
    const ModuleHandle dnsapi(LoadLibraryExW(L"dnsapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (!dnsapi) {
        checkWindowsError("LoadLibrary('dnsapi.dll')", GetLastError());
        return;
    }
    const auto flush = reinterpret_cast<DnsFlushResolverCacheFunction>(
        reinterpret_cast<void*>(GetProcAddress(dnsapi.get(), "DnsFlushResolverCache")));
    if (!flush) {
        checkWindowsError("GetProcAddress('DnsFlushResolverCache'", GetLastError());
        return;
    }
    if (!flush())
        checkWindowsError("DnsFlushResolverCache", GetLastError());
}

void Firewall::turnOffNetworkLocationWizard()
{
    log(LogLevel::Trace, "Firewall::turnOffNetworkLocationWizard");
    RegKey key;
    DWORD disposition = 0;
    checkWindowsError("RegCreateKeyEx", RegCreateKeyExW(registryRoot_, registryPath_, 0, nullptr,
                                                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key.put(),
                                                        &disposition));
    key.reset();
    wizardKeyExisted_ = disposition == REG_OPENED_EXISTING_KEY;
}

void Firewall::restoreNetworkLocationWizardSetting()
{
    log(LogLevel::Trace, "Firewall::restoreNetworkLocationWizardSetting");
    if (wizardKeyExisted_)
        return;
    checkWindowsError("RegDeleteKeyEx", RegDeleteKeyExW(registryRoot_, registryPath_, 0, 0));
}
