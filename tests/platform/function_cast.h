// Casts between FARPROC and real signatures through void (*)(), which
// -Wcast-function-type accepts.
#pragma once
#include <windows.h>

template <class Function>
FARPROC AsFarProc(Function* function) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

template <class Function>
Function FromFarProc(FARPROC proc) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(proc));
}
