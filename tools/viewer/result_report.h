// The viewer's log of SDK calls: one line per call with its result code by
// number and by name.
#pragma once
#include <cstdint>

namespace vkt::viewer {

const char* resultName(int32_t result);
// Prints "<step> 0x<result> <name>"; true when the result is VKT_OK.
bool report(const char* step, int32_t result);

}  // namespace vkt::viewer
