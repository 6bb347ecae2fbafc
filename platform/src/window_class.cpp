// Window classes: RegisterClassA and the class lookup used by
// CreateWindowExA. Class names compare case-insensitively, as on Windows;
// a class name may also be given as its atom (MAKEINTRESOURCEA).
#include <cctype>

#include "platform_state.h"
#include "window_class.h"

namespace platform {
namespace {

bool IsAtomName(LPCSTR name) { return reinterpret_cast<uintptr_t>(name) < 0x10000; }

std::string ClassKey(LPCSTR name) {
  std::string key(name);
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return key;
}

}  // namespace

WNDPROC FindClassProcLocked(LPCSTR className) {
  State& state = GlobalState();
  if (!className) return nullptr;
  if (IsAtomName(className)) {
    auto atom = static_cast<ATOM>(reinterpret_cast<uintptr_t>(className));
    for (const auto& [key, windowClass] : state.classes) {
      if (windowClass.atom == atom) return windowClass.proc;
    }
    return nullptr;
  }
  auto it = state.classes.find(ClassKey(className));
  return it == state.classes.end() ? nullptr : it->second.proc;
}

}  // namespace platform

using namespace platform;

extern "C" {

WINAPI_EXPORT ATOM WINAPI RegisterClassA(const WNDCLASSA* windowClass) {
  if (!windowClass || !windowClass->lpfnWndProc || !windowClass->lpszClassName ||
      reinterpret_cast<uintptr_t>(windowClass->lpszClassName) < 0x10000) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  State& state = GlobalState();
  std::lock_guard lock(state.mutex);
  std::string key = ClassKey(windowClass->lpszClassName);
  if (state.classes.count(key)) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  if (state.nextAtom == 0xFFFF) {  // atom table full
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  ATOM atom = state.nextAtom++;
  state.classes.emplace(std::move(key), WindowClass{atom, windowClass->lpfnWndProc});
  return atom;
}

// Cursors are not drawn by this platform; any non-null handle will do.
WINAPI_EXPORT HCURSOR WINAPI LoadCursorA(HINSTANCE, LPCSTR) {
  static char cursor;
  return reinterpret_cast<HCURSOR>(&cursor);
}
}
