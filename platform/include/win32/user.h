// user32 subset: window classes and windows, per-thread message queues,
// posted and sent messages, timers, message waiting, message boxes and the
// window geometry the renderer reads.
//
// Threading follows Win32: a window belongs to the thread that created it
// and its procedure runs only on that thread. PostMessageA works from any
// thread; SendMessageA from another thread blocks until the owner processes
// the message inside GetMessageA, PeekMessageA or MsgWaitForMultipleObjects,
// and returns 0 at once if the window is destroyed meanwhile.
#pragma once
#include "base.h"

typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef void(CALLBACK* TIMERPROC)(HWND, UINT, UINT_PTR, DWORD);

typedef struct tagWNDCLASSA {
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCSTR lpszMenuName;
  LPCSTR lpszClassName;
} WNDCLASSA;

typedef struct tagCREATESTRUCTA {
  LPVOID lpCreateParams;
  HINSTANCE hInstance;
  HMENU hMenu;
  HWND hwndParent;
  int cy;
  int cx;
  int y;
  int x;
  LONG style;
  LPCSTR lpszName;
  LPCSTR lpszClass;
  DWORD dwExStyle;
} CREATESTRUCTA;

typedef struct tagMSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
} MSG, *LPMSG;

// Messages.
#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_MOVE 0x0003
#define WM_SIZE 0x0005
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_NCCREATE 0x0081
#define WM_NCDESTROY 0x0082
#define WM_KEYDOWN 0x0100
#define WM_CHAR 0x0102
#define WM_TIMER 0x0113
#define WM_USER 0x0400

// WM_SIZE wParam.
#define SIZE_RESTORED 0

// Virtual keys besides '0'-'9' and 'A'-'Z', which are their ASCII codes.
#define VK_ESCAPE 0x1B

// GetSystemMetrics.
#define SM_CXSCREEN 0
#define SM_CYSCREEN 1

// SetWindowPos.
#define HWND_TOP ((HWND)0)
#define SWP_NOSIZE 0x0001u
#define SWP_NOMOVE 0x0002u
#define SWP_NOZORDER 0x0004u
#define SWP_NOACTIVATE 0x0010u
#define SWP_SHOWWINDOW 0x0040u
#define SWP_HIDEWINDOW 0x0080u

// Window styles and creation.
#define WS_OVERLAPPED 0x00000000L
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_CAPTION 0x00C00000L
#define WS_SYSMENU 0x00080000L
#define WS_THICKFRAME 0x00040000L
#define WS_MINIMIZEBOX 0x00020000L
#define WS_MAXIMIZEBOX 0x00010000L
#define WS_OVERLAPPEDWINDOW 0x00CF0000L
#define CW_USEDEFAULT ((int)0x80000000)

#define GWLP_USERDATA (-21)
#define GWL_USERDATA (-21)

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOW 5

#define IDC_ARROW MAKEINTRESOURCEA(32512)

// PeekMessageA options.
#define PM_NOREMOVE 0x0000u
#define PM_REMOVE 0x0001u

// MsgWaitForMultipleObjects wake masks.
#define QS_KEY 0x0001u
#define QS_MOUSEMOVE 0x0002u
#define QS_MOUSEBUTTON 0x0004u
#define QS_POSTMESSAGE 0x0008u
#define QS_TIMER 0x0010u
#define QS_PAINT 0x0020u
#define QS_SENDMESSAGE 0x0040u
#define QS_HOTKEY 0x0080u
#define QS_ALLINPUT 0x04FFu

// MessageBoxA.
#define MB_OK 0x0u
#define MB_ICONERROR 0x10u
#define IDOK 1

EXTERN_C_START
WINAPI_EXPORT ATOM WINAPI RegisterClassA(const WNDCLASSA* windowClass);
WINAPI_EXPORT HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                                          int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                                          LPVOID param);
WINAPI_EXPORT BOOL WINAPI DestroyWindow(HWND window);
WINAPI_EXPORT BOOL WINAPI IsWindow(HWND window);
WINAPI_EXPORT LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
WINAPI_EXPORT LONG_PTR WINAPI SetWindowLongPtrA(HWND window, int index, LONG_PTR value);
WINAPI_EXPORT LONG_PTR WINAPI GetWindowLongPtrA(HWND window, int index);
WINAPI_EXPORT HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name);
WINAPI_EXPORT DWORD WINAPI GetWindowThreadProcessId(HWND window, LPDWORD processId);

WINAPI_EXPORT BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
WINAPI_EXPORT LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
WINAPI_EXPORT BOOL WINAPI GetMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax);
WINAPI_EXPORT BOOL WINAPI PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeMsg);
WINAPI_EXPORT BOOL WINAPI TranslateMessage(const MSG* msg);
WINAPI_EXPORT LRESULT WINAPI DispatchMessageA(const MSG* msg);
WINAPI_EXPORT void WINAPI PostQuitMessage(int exitCode);

WINAPI_EXPORT UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC timerProc);
WINAPI_EXPORT BOOL WINAPI KillTimer(HWND window, UINT_PTR id);

WINAPI_EXPORT DWORD WINAPI MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                                                     DWORD milliseconds, DWORD wakeMask);

// Message boxes never block on POSIX: the text goes to stderr and to the
// hook below, so tests can read what a user would have seen.
WINAPI_EXPORT int WINAPI MessageBoxA(HWND window, LPCSTR text, LPCSTR caption, UINT type);

// Application windows and geometry. Windows have no frame on POSIX: the
// client area is the whole window, so GetClientRect gives (0, 0, width,
// height) and ClientToScreen adds the positions of the window and its
// parents (a window created with a parent is its child). MoveWindow and
// SetWindowPos send WM_SIZE, synchronously, when the size changes;
// ShowWindow sends nothing. SetWindowPos ignores the z-order argument.
WINAPI_EXPORT BOOL WINAPI ShowWindow(HWND window, int command);
WINAPI_EXPORT BOOL WINAPI IsWindowVisible(HWND window);
WINAPI_EXPORT BOOL WINAPI MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
WINAPI_EXPORT BOOL WINAPI SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height, UINT flags);
WINAPI_EXPORT BOOL WINAPI GetClientRect(HWND window, LPRECT rect);
WINAPI_EXPORT BOOL WINAPI ClientToScreen(HWND window, LPPOINT point);
WINAPI_EXPORT BOOL WINAPI ScreenToClient(HWND window, LPPOINT point);
// The pointer's screen position; (0, 0) without a display.
WINAPI_EXPORT BOOL WINAPI GetCursorPos(LPPOINT point);
// SM_CXSCREEN and SM_CYSCREEN: the size of the display mode DirectDraw
// reports; 0 for other indexes.
WINAPI_EXPORT int WINAPI GetSystemMetrics(int index);
EXTERN_C_END

#include "win32/post_release.h"

// POSIX-only hook: called with every message box's caption and text.
typedef void (*PlatformMessageBoxHook)(const char* caption, const char* text);
EXTERN_C WINAPI_EXPORT void PlatformSetMessageBoxHook(PlatformMessageBoxHook hook);
