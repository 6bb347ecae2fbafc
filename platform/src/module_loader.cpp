// Run-time module loading: LoadLibraryA, GetProcAddress, FreeLibrary.
//
// Names of built-in modules resolve to a record of this file; any other name
// goes to dlopen, tried as given, then as NAME.so and libNAME.so with a
// ".dll" suffix removed; a name without a directory is looked for first
// beside this library (as Windows looks beside the application), then
// along the usual search path. Loads are reference-counted: each LoadLibraryA is
// balanced by one FreeLibrary, after which the handle is no longer valid.
// PlatformSetModuleMissing makes a name fail to load, so tests can play a
// machine without that module.
#include <dlfcn.h>
#include <strings.h>

#include <cctype>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "builtin_modules.h"

namespace {

struct BuiltinModule {
  BuiltinModuleResolver resolve;
  int references = 0;
};

struct ModuleTable {
  std::mutex mutex;
  std::unordered_map<std::string, BuiltinModule> builtins;  // key: ModuleKey
  std::unordered_map<void*, int> sharedObjects;             // dlopen handle -> references
  std::set<std::string> missing;
};

ModuleTable& Table() {
  static ModuleTable* table = new ModuleTable;  // used from static initialisers
  return *table;
}

// `name` without a trailing ".dll" (any case).
std::string WithoutDllSuffix(const char* name) {
  std::string base(name);
  if (base.size() > 4 && strcasecmp(base.c_str() + base.size() - 4, ".dll") == 0) base.resize(base.size() - 4);
  return base;
}

std::string ModuleKey(const char* name) {
  std::string key = WithoutDllSuffix(name);
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return key;
}

BuiltinModule* FindBuiltinByHandle(ModuleTable& table, HMODULE module) {
  for (auto& [key, builtin] : table.builtins) {
    if (reinterpret_cast<HMODULE>(&builtin) == module) return &builtin;
  }
  return nullptr;
}

// The directory of this shared library, with a trailing '/', or "".
std::string PlatformLibraryDirectory() {
  Dl_info info;
  if (!dladdr(reinterpret_cast<void*>(&PlatformLibraryDirectory), &info) || !info.dli_fname) return {};
  std::string path = info.dli_fname;
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

void* OpenSharedObject(const char* name) {
  std::string base = WithoutDllSuffix(name);
  const std::string candidates[] = {name, base + ".so", "lib" + base + ".so"};
  std::vector<std::string> directories;
  if (!std::strchr(name, '/')) {
    if (std::string own = PlatformLibraryDirectory(); !own.empty()) directories.push_back(std::move(own));
  }
  directories.emplace_back();  // the dynamic linker's search path
  for (const std::string& directory : directories) {
    for (const std::string& candidate : candidates) {
      if (void* handle = dlopen((directory + candidate).c_str(), RTLD_NOW | RTLD_LOCAL)) return handle;
    }
  }
  return nullptr;
}

}  // namespace

void PlatformRegisterBuiltinModule(const char* name, BuiltinModuleResolver resolve) {
  ModuleTable& table = Table();
  std::lock_guard lock(table.mutex);
  table.builtins[ModuleKey(name)].resolve = resolve;
}

extern "C" {

WINAPI_EXPORT void PlatformSetModuleMissing(const char* name, BOOL missing) {
  ModuleTable& table = Table();
  std::lock_guard lock(table.mutex);
  if (missing) {
    table.missing.insert(ModuleKey(name));
  } else {
    table.missing.erase(ModuleKey(name));
  }
}

WINAPI_EXPORT HMODULE WINAPI LoadLibraryA(LPCSTR name) {
  if (!name || !*name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  ModuleTable& table = Table();
  std::string key = ModuleKey(name);
  {
    std::lock_guard lock(table.mutex);
    if (table.missing.count(key)) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return nullptr;
    }
    auto builtin = table.builtins.find(key);
    if (builtin != table.builtins.end()) {
      ++builtin->second.references;
      return reinterpret_cast<HMODULE>(&builtin->second);
    }
  }
  void* handle = OpenSharedObject(name);
  if (!handle) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  std::lock_guard lock(table.mutex);
  ++table.sharedObjects[handle];
  return reinterpret_cast<HMODULE>(handle);
}

WINAPI_EXPORT FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName) {
  ModuleTable& table = Table();
  std::unique_lock lock(table.mutex);
  // Lookup by ordinal (a small integer instead of a name) is not supported.
  bool named = reinterpret_cast<uintptr_t>(procName) >= 0x10000;
  if (BuiltinModule* builtin = FindBuiltinByHandle(table, module); builtin && builtin->references > 0) {
    BuiltinModuleResolver resolve = builtin->resolve;
    lock.unlock();
    FARPROC proc = named ? resolve(procName) : nullptr;
    if (!proc) SetLastError(ERROR_PROC_NOT_FOUND);
    return proc;
  }
  if (!table.sharedObjects.count(module)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  void* symbol = named ? dlsym(module, procName) : nullptr;
  if (!symbol) SetLastError(ERROR_PROC_NOT_FOUND);
  return reinterpret_cast<FARPROC>(symbol);
}

WINAPI_EXPORT BOOL WINAPI FreeLibrary(HMODULE module) {
  ModuleTable& table = Table();
  std::lock_guard lock(table.mutex);
  if (BuiltinModule* builtin = FindBuiltinByHandle(table, module); builtin && builtin->references > 0) {
    --builtin->references;
    return TRUE;
  }
  auto shared = table.sharedObjects.find(module);
  if (shared == table.sharedObjects.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (--shared->second == 0) table.sharedObjects.erase(shared);
  dlclose(module);
  return TRUE;
}
}
