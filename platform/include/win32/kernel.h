// kernel32 and winmm subset: events, waiting, critical sections, files,
// time, debug output, run-time module loading.
#pragma once
#include "base.h"

#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0u
#define WAIT_ABANDONED 0x80u
#define WAIT_TIMEOUT 258u
#define WAIT_FAILED 0xFFFFFFFFu

// Files.
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x1u
#define FILE_SHARE_WRITE 0x2u
#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define TRUNCATE_EXISTING 5u
#define FILE_ATTRIBUTE_NORMAL 0x80u
#define FILE_BEGIN 0u
#define FILE_CURRENT 1u
#define FILE_END 2u
#define INVALID_SET_FILE_POINTER ((DWORD)-1)
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)

// Virtual memory.
#define MEM_COMMIT 0x1000u
#define MEM_RESERVE 0x2000u
#define MEM_DECOMMIT 0x4000u
#define MEM_RELEASE 0x8000u
#define PAGE_NOACCESS 0x01u
#define PAGE_READWRITE 0x04u

// DllMain reason codes.
#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

typedef struct _OVERLAPPED OVERLAPPED, *LPOVERLAPPED;

// A critical section is a recursive mutex owned by the thread that entered it.
typedef struct _CRITICAL_SECTION {
#ifdef __cplusplus
  alignas(16) unsigned char opaque[64];
#else
  _Alignas(16) unsigned char opaque[64];
#endif
} CRITICAL_SECTION, *LPCRITICAL_SECTION;

typedef struct _FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
} FILETIME, *LPFILETIME;

EXTERN_C_START
// Events and waiting. Handles from CreateEventA and CreateFileA are closed
// with CloseHandle.
WINAPI_EXPORT HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState,
                                         LPCSTR name);
WINAPI_EXPORT BOOL WINAPI SetEvent(HANDLE event);
WINAPI_EXPORT BOOL WINAPI ResetEvent(HANDLE event);
WINAPI_EXPORT DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds);
WINAPI_EXPORT BOOL WINAPI CloseHandle(HANDLE handle);

WINAPI_EXPORT void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION section);
WINAPI_EXPORT void WINAPI EnterCriticalSection(LPCRITICAL_SECTION section);
WINAPI_EXPORT void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION section);
WINAPI_EXPORT void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION section);

// Time.
WINAPI_EXPORT DWORD WINAPI timeGetTime(void);
WINAPI_EXPORT DWORD WINAPI GetTickCount(void);
WINAPI_EXPORT void WINAPI GetLocalTime(LPSYSTEMTIME time);
WINAPI_EXPORT void WINAPI Sleep(DWORD milliseconds);
WINAPI_EXPORT DWORD WINAPI GetCurrentThreadId(void);
// The calling process's pseudo handle, for GetProcessTimes. Kernel and user
// times are the CPU time of all the process's threads, in 100 ns units;
// creation and exit times are not kept (zero).
WINAPI_EXPORT HANDLE WINAPI GetCurrentProcess(void);
WINAPI_EXPORT BOOL WINAPI GetProcessTimes(HANDLE process, LPFILETIME creation, LPFILETIME exit, LPFILETIME kernel,
                                          LPFILETIME user);

// Debug output: written to stderr when VKT_DEBUG_OUTPUT is set in the environment.
WINAPI_EXPORT void WINAPI OutputDebugStringA(LPCSTR text);

// Virtual memory: reserve address space (MEM_RESERVE, PAGE_NOACCESS),
// commit pages of a reservation or a new one (MEM_COMMIT, PAGE_READWRITE);
// committed pages read zero until written. VirtualFree decommits pages
// (MEM_DECOMMIT) or frees a whole reservation (MEM_RELEASE, its base and
// size 0).
WINAPI_EXPORT LPVOID WINAPI VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD protect);
WINAPI_EXPORT BOOL WINAPI VirtualFree(LPVOID address, SIZE_T size, DWORD freeType);

// Memory probing: true when any byte of [p, p + size) cannot be read.
WINAPI_EXPORT BOOL WINAPI IsBadReadPtr(const void* p, UINT_PTR size);

// Files.
WINAPI_EXPORT HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES attributes,
                                        DWORD creation, DWORD flags, HANDLE templateFile);
WINAPI_EXPORT BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped);
WINAPI_EXPORT BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written,
                                    LPOVERLAPPED overlapped);
WINAPI_EXPORT DWORD WINAPI SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method);
WINAPI_EXPORT DWORD WINAPI GetFileSize(HANDLE file, LPDWORD sizeHigh);

// Run-time module loading. Besides real shared objects, the names of the
// system modules this code asks for ("advapi32", "ddraw.dll") resolve to
// built-in modules of the platform layer.
WINAPI_EXPORT HMODULE WINAPI LoadLibraryA(LPCSTR name);
WINAPI_EXPORT FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name);
WINAPI_EXPORT BOOL WINAPI FreeLibrary(HMODULE module);
EXTERN_C_END

// POSIX-only test switch: while `missing` is TRUE, LoadLibraryA of `name`
// (compared like module names: any case, with or without ".dll") fails with
// ERROR_MOD_NOT_FOUND, as on a machine without that module.
EXTERN_C WINAPI_EXPORT void PlatformSetModuleMissing(const char* name, BOOL missing);
