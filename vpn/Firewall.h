#pragma once

#include "UniqueHandle.h"

// The DNS leak lock in the Windows Filtering Platform, and the registry
// setting of the network location wizard.
class Firewall {
public:
    static Firewall& instance();

    Firewall(const Firewall&) = delete;
    Firewall& operator=(const Firewall&) = delete;

    // Blocks remote port 53 on every interface but the given one, in a
    // dynamic session that takes its rules with it when it closes.
    void lock_DNS_leaks(unsigned long interfaceIndex);
    void unlock_DNS_leaks();
    void flush_DNS_cache();

    void turnOffNetworkLocationWizard();
    void restoreNetworkLocationWizardSetting();

private:
    Firewall() = default;

    void closeSession();
    void addSubLayer();
    void addFilters(unsigned long interfaceIndex);

    HKEY registryRoot_ = HKEY_LOCAL_MACHINE;
    const wchar_t* registryPath_ = L"SYSTEM\\CurrentControlSet\\Control\\Network\\NewNetworkWindowOff";
    WfpEngine engine_;
    const wchar_t* displayName_ = L"ZeravVPN DNS leaks block";
    bool wizardKeyExisted_ = false;
};
