#include "PipeSecurity.h"

#include "LogRecord.h"
#include "WindowsErrorText.h"

#include <sddl.h>

namespace {

// 0x12019b is FILE_GENERIC_READ | FILE_GENERIC_WRITE without
// FILE_CREATE_PIPE_INSTANCE (the same bit as FILE_APPEND_DATA), so no user
// can add a server end of his own to the pipe. The deny entry comes first so
// that a network logon of an administrator is refused as well.
constexpr const wchar_t* pipeSddl = L"D:P(D;;FA;;;NU)(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x12019b;;;AU)";

} // namespace

LocalMemory pipeSecurityDescriptor()
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(pipeSddl, SDDL_REVISION_1, &descriptor, nullptr)) {
        log(LogLevel::Error, "ConvertStringSecurityDescriptorToSecurityDescriptor() failed: ",
            windowsErrorText(GetLastError()));
        return LocalMemory();
    }
    return LocalMemory(descriptor);
}
