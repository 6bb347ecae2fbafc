// The process-wide "ddraw.dll" module and its DirectDrawCreateEx entry,
// shared by every renderer. The module is loaded once and stays loaded for
// the life of the process.
#pragma once
#include <ddraw.h>

typedef HRESULT(WINAPI* DirectDrawCreateExProc)(GUID* device, LPVOID* object, REFIID iid, IUnknown* outer);

// Loads "ddraw.dll" if no earlier call has; the handle stays empty while it
// cannot be loaded, and the next call tries again.
void LoadDirectDrawModule();
// The loaded module, or null.
HMODULE DirectDrawModule();
// DirectDrawCreateEx of the loaded module, resolved on first use; null when
// the module or the entry is missing.
DirectDrawCreateExProc DirectDrawCreateEntry();
