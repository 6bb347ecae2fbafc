// Loading of "ddraw.dll" for all renderers. Renderers are constructed on
// different threads (a decoder's for one device kind, the window thread for
// the other), so the handle and the entry are atomics; two racing loads keep
// one handle and give the other reference back.
#include "ddraw_loader.h"

#include <atomic>

namespace {

std::atomic<HMODULE> ddrawModule{nullptr};
std::atomic<DirectDrawCreateExProc> createEntry{nullptr};

}  // namespace

void LoadDirectDrawModule() {
  if (ddrawModule.load()) return;
  HMODULE loaded = LoadLibraryA("ddraw.dll");
  if (!loaded) return;
  HMODULE expected = nullptr;
  if (!ddrawModule.compare_exchange_strong(expected, loaded)) FreeLibrary(loaded);
}

HMODULE DirectDrawModule() { return ddrawModule.load(); }

DirectDrawCreateExProc DirectDrawCreateEntry() {
  if (DirectDrawCreateExProc entry = createEntry.load()) return entry;
  HMODULE module = ddrawModule.load();
  if (!module) return nullptr;
  FARPROC found = GetProcAddress(module, "DirectDrawCreateEx");
  // GetProcAddress gives a generic function pointer; void(*)() is the cast
  // that compilers accept between unrelated function types.
  auto entry = reinterpret_cast<DirectDrawCreateExProc>(reinterpret_cast<void (*)()>(found));
  createEntry.store(entry);
  return entry;
}
