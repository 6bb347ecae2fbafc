// advapi32 registry subset, read-only. On POSIX the registry is a text file
// (see docs/registry.md); code reaches these functions through
// LoadLibraryA("advapi32") and GetProcAddress, as it does on Windows.
#pragma once
#include "base.h"

#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)((LONG)0x80000000))
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)((LONG)0x80000001))
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))
#define HKEY_USERS ((HKEY)(ULONG_PTR)((LONG)0x80000003))

#define KEY_QUERY_VALUE 0x0001u
#define KEY_READ 0x20019u
#define KEY_ALL_ACCESS 0xF003Fu

#define REG_NONE 0u
#define REG_SZ 1u
#define REG_BINARY 3u
#define REG_DWORD 4u

EXTERN_C_START
WINAPI_EXPORT LSTATUS WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, DWORD desired, PHKEY result);
WINAPI_EXPORT LSTATUS WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type,
                                              LPBYTE data, LPDWORD dataSize);
WINAPI_EXPORT LSTATUS WINAPI RegCloseKey(HKEY key);
EXTERN_C_END
