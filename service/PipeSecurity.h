#pragma once

#include "UniqueHandle.h"

// The security descriptor of the service pipe: LocalSystem and
// Administrators have full control; every authenticated local user may read
// and write but not create another instance of the pipe; network logons are
// refused. Empty (and the failure logged) when it cannot be built.
LocalMemory pipeSecurityDescriptor();
