// RegOpenKeyExA, RegQueryValueExA and RegCloseKey over the registry text
// file, and the built-in "advapi32" module that exports them.
//
// Each RegOpenKeyExA reads the file again, and the opened key answers its
// queries from that reading. Queries on a root key (HKEY_LOCAL_MACHINE,
// ...) read the file each time. Nothing is ever written.
#include <windows.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "builtin_modules.h"
#include "registry_file.h"

namespace platform {
namespace {

struct OpenKey {
  std::string path;
  std::shared_ptr<const RegistryData> data;
};

struct KeyTable {
  std::mutex mutex;
  std::unordered_map<uintptr_t, OpenKey> keys;
  // Apart from kernel handles, so CloseHandle on a key cannot close an event,
  // and far below the root keys; never reused.
  uintptr_t next = 0x10000000;
};

KeyTable& Keys() {
  static KeyTable* table = new KeyTable;
  return *table;
}

const char* RootName(HKEY key) {
  if (key == HKEY_LOCAL_MACHINE) return "hkey_local_machine";
  if (key == HKEY_CURRENT_USER) return "hkey_current_user";
  if (key == HKEY_CLASSES_ROOT) return "hkey_classes_root";
  if (key == HKEY_USERS) return "hkey_users";
  return nullptr;
}

// The path and contents behind `key`, or false for an unknown handle.
bool ResolveKey(HKEY key, OpenKey* resolved) {
  if (const char* root = RootName(key)) {
    *resolved = OpenKey{root, std::make_shared<const RegistryData>(LoadRegistryFile())};
    return true;
  }
  KeyTable& table = Keys();
  std::lock_guard lock(table.mutex);
  auto it = table.keys.find(reinterpret_cast<uintptr_t>(key));
  if (it == table.keys.end()) return false;
  *resolved = it->second;
  return true;
}

FARPROC ResolveAdvapi32(const char* name) {
  if (std::strcmp(name, "RegOpenKeyExA") == 0) return ToFarProc(&RegOpenKeyExA);
  if (std::strcmp(name, "RegQueryValueExA") == 0) return ToFarProc(&RegQueryValueExA);
  if (std::strcmp(name, "RegCloseKey") == 0) return ToFarProc(&RegCloseKey);
  return nullptr;
}

[[maybe_unused]] const bool advapi32Registered = (PlatformRegisterBuiltinModule("advapi32", ResolveAdvapi32), true);

}  // namespace
}  // namespace platform

using namespace platform;

extern "C" {

WINAPI_EXPORT LSTATUS WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, DWORD, PHKEY result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  OpenKey base;
  if (!ResolveKey(key, &base)) return ERROR_INVALID_HANDLE;
  std::string path = JoinKeyPath(base.path, subKey);
  auto data = std::make_shared<const RegistryData>(LoadRegistryFile());
  bool isRoot = path.find('\\') == std::string::npos;  // roots exist even when the file is empty
  if (path.empty() || (!isRoot && !data->HasKey(path))) return ERROR_FILE_NOT_FOUND;
  KeyTable& table = Keys();
  std::lock_guard lock(table.mutex);
  uintptr_t id = table.next;
  table.next += 4;
  table.keys.emplace(id, OpenKey{std::move(path), std::move(data)});
  *result = reinterpret_cast<HKEY>(id);
  return ERROR_SUCCESS;
}

WINAPI_EXPORT LSTATUS WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type,
                                              LPBYTE data, LPDWORD dataSize) {
  if (reserved || (data && !dataSize)) return ERROR_INVALID_PARAMETER;
  OpenKey open;
  if (!ResolveKey(key, &open)) return ERROR_INVALID_HANDLE;
  const RegistryValue* value = open.data->FindValue(open.path, valueName ? valueName : "");
  if (!value) return ERROR_FILE_NOT_FOUND;
  auto size = static_cast<DWORD>(value->data.size());
  if (type) *type = value->type;
  if (!data) {
    if (dataSize) *dataSize = size;
    return ERROR_SUCCESS;
  }
  DWORD capacity = *dataSize;
  *dataSize = size;
  if (capacity < size) return ERROR_MORE_DATA;
  if (size) std::memcpy(data, value->data.data(), size);
  return ERROR_SUCCESS;
}

WINAPI_EXPORT LSTATUS WINAPI RegCloseKey(HKEY key) {
  if (RootName(key)) return ERROR_SUCCESS;
  KeyTable& table = Keys();
  std::lock_guard lock(table.mutex);
  return table.keys.erase(reinterpret_cast<uintptr_t>(key)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
}
