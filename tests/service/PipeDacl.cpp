#include "PipeDacl.h"

#include "UniqueHandle.h"

#include <aclapi.h>
#include <sddl.h>

namespace {

std::string sidText(PSID sid)
{
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text))
        return {};
    const LocalMemory owner(text);
    return std::string(text, text + wcslen(text));
}

} // namespace

void PrintTo(const PipeAce& ace, std::ostream* out)
{
    *out << (ace.type == ACCESS_DENIED_ACE_TYPE ? "deny " : "allow ") << ace.sid << " 0x" << std::hex << ace.mask;
}

std::vector<PipeAce> pipeDacl(HANDLE pipe)
{
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(pipe, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                        &descriptor) != ERROR_SUCCESS)
        return {};
    const LocalMemory owner(descriptor);
    std::vector<PipeAce> aces;
    for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        GetAce(dacl, i, &ace);
        // Allowed and denied entries share their layout.
        const auto* entry = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        aces.push_back({entry->Header.AceType, entry->Mask, sidText(const_cast<DWORD*>(&entry->SidStart))});
    }
    return aces;
}
