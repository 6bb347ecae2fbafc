// The entry point of the built-in "ddraw.dll" module.
#pragma once
#include <ddraw.h>

namespace platform {

HRESULT WINAPI DirectDrawCreateEx(GUID* device, LPVOID* object, REFIID iid, IUnknown* outer);

}  // namespace platform
