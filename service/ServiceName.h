#pragma once

// The service's name lives beside the pipe's, which the library shares.
#include "ServicePipe.h"
