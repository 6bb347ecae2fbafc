// The library's debug output: one formatted line per call, prefixed with
// the library's name, through OutputDebugStringA. Conditions that drop
// media or refuse a call without a result code to carry them (a refused
// parameter set, an oversized picture, an ignored login answer, a call from
// the wrong thread) are reported this way.
#pragma once

void SdkDebugLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
