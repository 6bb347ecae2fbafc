// Built-in modules: system DLL names that LoadLibraryA resolves inside the
// platform layer instead of loading a shared object. A platform file
// registers its module from a static initialiser, e.g.
//   static const bool registered =
//       (PlatformRegisterBuiltinModule("ddraw", ResolveDdraw), true);
// Names compare case-insensitively, with or without ".dll".
#pragma once
#include <windows.h>

typedef FARPROC (*BuiltinModuleResolver)(const char* procName);

// Function pointers convert to FARPROC through void (*)(), the one type that
// -Wcast-function-type accepts for any signature.
template <class Function>
FARPROC ToFarProc(Function* function) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

void PlatformRegisterBuiltinModule(const char* name, BuiltinModuleResolver resolve);
