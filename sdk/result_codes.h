// The SDK's result codes as a typed constant set for the sessions' code.
#pragma once
#include <cstdint>

#include "vkt7100sdk.h"

using VktResult = int32_t;
