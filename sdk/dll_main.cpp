// Library load and unload: the kind-7100 transport is initialised once for
// the process, and the module instance is kept for the sessions' windows.
// On Windows this is DllMain; elsewhere a constructor and a destructor
// function of the shared object do the same steps.
#include <windows.h>

#include "device_session.h"
#include "transport_api.h"

#ifndef _WIN32
#include <dlfcn.h>
#endif

static void OnProcessAttach(HINSTANCE instance) {
  displayDebugMessage(1);
  initializeRemoteSocket();
  SetSdkModuleInstance(instance);
}

static void OnProcessDetach() { uninitializeRemoteSocket(); }

#ifdef _WIN32
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) OnProcessAttach(instance);
  if (reason == DLL_PROCESS_DETACH) OnProcessDetach();
  return TRUE;
}
#else
// The module instance is the load address of this shared object.
static HINSTANCE ThisModule() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&OnProcessAttach), &info) == 0) return nullptr;
  return static_cast<HINSTANCE>(info.dli_fbase);
}

__attribute__((constructor)) static void SdkLoaded() { OnProcessAttach(ThisModule()); }
__attribute__((destructor)) static void SdkUnloaded() { OnProcessDetach(); }
#endif
