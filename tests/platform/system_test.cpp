// Memory probing, clocks, message boxes and window geometry.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <ctime>
#include <string>
#include <vector>

#include "test_window.h"

namespace {

TEST(IsBadReadPtr, ReportsNullUnmappedAndProtectedMemory) {
  std::vector<char> buffer(10000);
  EXPECT_FALSE(IsBadReadPtr(buffer.data(), buffer.size()));
  EXPECT_TRUE(IsBadReadPtr(nullptr, 4));
  EXPECT_TRUE(IsBadReadPtr(reinterpret_cast<void*>(~uintptr_t{0} - 2), 8)) << "a range that wraps";

  long page = sysconf(_SC_PAGESIZE);
  auto* pages = static_cast<char*>(mmap(nullptr, 3 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(pages, MAP_FAILED);
  ASSERT_EQ(mprotect(pages + page, page, PROT_NONE), 0);
  ASSERT_EQ(munmap(pages + 2 * page, page), 0);
  EXPECT_FALSE(IsBadReadPtr(pages, page));
  EXPECT_TRUE(IsBadReadPtr(pages + page - 4, 8)) << "the range runs into a protected page";
  EXPECT_TRUE(IsBadReadPtr(pages + 2 * page, 1)) << "an unmapped page";
  EXPECT_FALSE(IsBadReadPtr(pages + 2 * page, 0));
  munmap(pages, 2 * page);

  // Freed memory that is still mapped reads fine, also under AddressSanitizer,
  // which must not take the probe for a use after free.
  auto* freed = new char[64];
  delete[] freed;
  EXPECT_FALSE(IsBadReadPtr(freed, 64));
}

TEST(VirtualAlloc, CommitsDecommitsAndReleasesPagesOfAReservation) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  auto* base = static_cast<char*>(VirtualAlloc(nullptr, 3 * page - 5, MEM_RESERVE, PAGE_NOACCESS));
  ASSERT_NE(base, nullptr);
  EXPECT_TRUE(IsBadReadPtr(base, 1)) << "reserved pages are not committed";
  // Each step: commit (or decommit) [offset, offset + size); what it
  // returns; then whether the middle page reads.
  const struct { bool commit; size_t offset, size; bool succeeds, middleReads; } steps[] = {
      {true, page + 10, 1, true, true},          // the whole page around one byte
      {false, page, page, true, false},          // decommitted: faults again
      {true, page, page, true, true},            // committed again, reads zero
      {true, 2 * page, 2 * page, false, true},   // runs past the reservation
      {false, 2 * page, 2 * page, false, true},
      {false, page, 0, false, true},
  };
  for (const auto& step : steps) {
    SetLastError(0);
    const bool done = step.commit ? VirtualAlloc(base + step.offset, step.size, MEM_COMMIT, PAGE_READWRITE) != nullptr
                                  : VirtualFree(base + step.offset, step.size, MEM_DECOMMIT) != FALSE;
    EXPECT_EQ(done, step.succeeds) << step.commit << " at " << step.offset;
    EXPECT_EQ(done || GetLastError() != 0, true) << "a failure sets the error";
    EXPECT_EQ(!IsBadReadPtr(base + page, page), step.middleReads) << step.commit << " at " << step.offset;
    if (step.commit && done) {
      EXPECT_EQ(base[page + 7], 0) << "newly committed pages read zero";
      base[page + 7] = 1;
    }
  }
  EXPECT_FALSE(VirtualFree(base, page, MEM_RELEASE)) << "a release names the whole reservation";
  EXPECT_FALSE(VirtualFree(base + page, 0, MEM_RELEASE)) << "by its base";
  EXPECT_TRUE(VirtualFree(base, 0, MEM_RELEASE));
  EXPECT_TRUE(IsBadReadPtr(base + page, 1));
  EXPECT_FALSE(VirtualFree(base, 0, MEM_RELEASE)) << "released once";
  EXPECT_EQ(VirtualAlloc(nullptr, page, MEM_COMMIT, PAGE_NOACCESS), nullptr);
  auto* committed = static_cast<char*>(VirtualAlloc(nullptr, 1, MEM_COMMIT, PAGE_READWRITE));
  ASSERT_NE(committed, nullptr) << "a commit without an address reserves too";
  EXPECT_FALSE(IsBadReadPtr(committed, page));
  EXPECT_TRUE(VirtualFree(committed, 0, MEM_RELEASE));
}

TEST(Clocks, LocalTimeMatchesTheCClockAndTimersAdvance) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  time_t seconds = time(nullptr);
  tm local;
  localtime_r(&seconds, &local);
  EXPECT_EQ(now.wYear, local.tm_year + 1900);
  EXPECT_EQ(now.wMonth, local.tm_mon + 1);
  EXPECT_EQ(now.wDayOfWeek, local.tm_wday);
  EXPECT_LT(now.wMilliseconds, 1000);

  DWORD start = timeGetTime();
  DWORD ticks = GetTickCount();
  Sleep(20);
  EXPECT_GE(timeGetTime() - start, 19u);
  EXPECT_GE(GetTickCount() - ticks, 19u);
  EXPECT_NE(GetCurrentThreadId(), 0u);
}

std::string hookedText;
void RecordMessageBox(const char* caption, const char* text) { hookedText = std::string(caption) + "|" + text; }

TEST(MessageBox, NeverBlocksAndReachesTheHook) {
  PlatformSetMessageBoxHook(RecordMessageBox);
  EXPECT_EQ(MessageBoxA(nullptr, "Load library failed.", "Error", MB_ICONERROR), IDOK);
  EXPECT_EQ(hookedText, "Error|Load library failed.");
  PlatformSetMessageBoxHook(nullptr);
}

TEST(Geometry, VisibilityPositionsAndClientArea) {
  TestHandler handler;
  HWND parent = CreateTestWindow(&handler);
  HWND child = CreateWindowExA(0, "PlatformTestWindow", "", WS_CHILD | WS_VISIBLE, 10, 20, 320, 240, parent, nullptr,
                               nullptr, &handler);
  ASSERT_NE(child, nullptr);
  EXPECT_FALSE(IsWindowVisible(parent));
  EXPECT_FALSE(IsWindowVisible(child)) << "a shown child of a hidden parent is not visible";
  EXPECT_FALSE(ShowWindow(parent, SW_SHOW));
  EXPECT_TRUE(ShowWindow(parent, SW_SHOW)) << "returns the previous visibility";
  EXPECT_TRUE(IsWindowVisible(child));

  ASSERT_TRUE(MoveWindow(parent, 100, 200, 800, 600, TRUE));
  RECT rect;
  ASSERT_TRUE(GetClientRect(parent, &rect));
  EXPECT_EQ(rect.right, 800);
  EXPECT_EQ(rect.bottom, 600);
  ASSERT_TRUE(GetClientRect(child, &rect));
  EXPECT_EQ(rect.left, 0);
  EXPECT_EQ(rect.right, 320);
  POINT point{5, 5};
  ASSERT_TRUE(ClientToScreen(child, &point));
  EXPECT_EQ(point.x, 115);
  EXPECT_EQ(point.y, 225);

  HWND defaulted = CreateWindowExA(0, "PlatformTestWindow", "", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                   CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, &handler);
  ASSERT_TRUE(GetClientRect(defaulted, &rect));
  EXPECT_GT(rect.right, 0) << "a default size is given";
  EXPECT_GT(rect.bottom, 0);
  DestroyWindow(defaulted);

  ShowWindow(parent, SW_HIDE);
  EXPECT_FALSE(IsWindowVisible(parent));
  DestroyWindow(parent);
  EXPECT_FALSE(IsWindow(child)) << "children are destroyed with their parent";
  EXPECT_FALSE(GetClientRect(child, &rect));
  EXPECT_FALSE(ClientToScreen(child, &point));
}

// WM_SIZE comes synchronously from MoveWindow and SetWindowPos, and only
// when the size changes; SetWindowPos keeps what its flags say to keep.
TEST(Geometry, SizeMessagesAndSetWindowPos) {
  std::vector<LPARAM> sizes;
  TestHandler handler = [&](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
    if (message == WM_SIZE) sizes.push_back(lParam);
    return DefWindowProcA(window, message, wParam, lParam);
  };
  HWND window = CreateTestWindow(&handler);
  const struct {
    int x, y, width, height;
    UINT flags;  // ~0u: MoveWindow
    LPARAM size; // 0: no WM_SIZE
    RECT placed;
  } steps[] = {
      {10, 20, 300, 200, ~0u, MAKELONG(300, 200), {10, 20, 300, 200}},
      {30, 40, 300, 200, ~0u, 0, {30, 40, 300, 200}},  // moved only
      {0, 0, 640, 400, SWP_NOMOVE | SWP_NOZORDER, MAKELONG(640, 400), {30, 40, 640, 400}},
      {5, 6, 1, 1, SWP_NOSIZE, 0, {5, 6, 640, 400}},
      {0, 0, -5, 7, ~0u, MAKELONG(0, 7), {0, 0, 0, 7}},  // negative sizes are empty
      {0, 0, 7, -5, ~0u, MAKELONG(7, 0), {0, 0, 7, 0}},
  };
  for (const auto& step : steps) {
    sizes.clear();
    if (step.flags == ~0u) {
      ASSERT_TRUE(MoveWindow(window, step.x, step.y, step.width, step.height, TRUE));
    } else {
      ASSERT_TRUE(SetWindowPos(window, HWND_TOP, step.x, step.y, step.width, step.height, step.flags));
    }
    EXPECT_EQ(sizes, step.size ? std::vector<LPARAM>{step.size} : std::vector<LPARAM>{}) << step.x;
    RECT client;
    GetClientRect(window, &client);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    EXPECT_EQ(origin.x, step.placed.left);
    EXPECT_EQ(origin.y, step.placed.top);
    EXPECT_EQ(client.right, step.placed.right);
    EXPECT_EQ(client.bottom, step.placed.bottom);
  }
  EXPECT_EQ(PumpMessages(), 0) << "nothing was posted";
  SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
  EXPECT_TRUE(IsWindowVisible(window));
  SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_HIDEWINDOW);
  EXPECT_FALSE(IsWindowVisible(window));
  DestroyWindow(window);
  EXPECT_FALSE(MoveWindow(window, 0, 0, 1, 1, TRUE));
  EXPECT_FALSE(SetWindowPos(window, HWND_TOP, 0, 0, 1, 1, 0));
}

TEST(Geometry, ScreenToClientUndoesClientToScreenThroughParents) {
  TestHandler handler;
  HWND parent = CreateTestWindow(&handler);
  MoveWindow(parent, 100, 50, 800, 600, TRUE);
  HWND child = CreateWindowExA(0, "PlatformTestWindow", "", WS_CHILD, 30, 40, 200, 100, parent, nullptr, nullptr,
                               &handler);
  POINT point{7, 9};
  ASSERT_TRUE(ClientToScreen(child, &point));
  EXPECT_EQ(point.x, 137);
  EXPECT_EQ(point.y, 99);
  ASSERT_TRUE(ScreenToClient(child, &point));
  EXPECT_EQ(point.x, 7);
  EXPECT_EQ(point.y, 9);
  DestroyWindow(parent);
  EXPECT_FALSE(ScreenToClient(child, &point));
  POINT cursor{-1, -1};
  EXPECT_TRUE(GetCursorPos(&cursor));
  EXPECT_FALSE(GetCursorPos(nullptr));
}

TEST(ProcessTimes, GrowWithWorkDone) {
  FILETIME creation, exit, kernel, user;
  ASSERT_TRUE(GetProcessTimes(GetCurrentProcess(), &creation, &exit, &kernel, &user));
  auto total = [&] {
    return (static_cast<uint64_t>(kernel.dwHighDateTime) << 32 | kernel.dwLowDateTime) +
           (static_cast<uint64_t>(user.dwHighDateTime) << 32 | user.dwLowDateTime);
  };
  const uint64_t before = total();
  const std::clock_t start = std::clock();
  volatile uint64_t spin = 0;
  while (std::clock() - start < CLOCKS_PER_SEC / 20) spin = spin + 1;
  ASSERT_TRUE(GetProcessTimes(GetCurrentProcess(), &creation, &exit, &kernel, &user));
  EXPECT_GE(total() - before, 400000u) << "at least 40 ms of the 50 ms spent, in 100 ns units";
  EXPECT_FALSE(GetProcessTimes(nullptr, &creation, &exit, &kernel, &user));
  EXPECT_FALSE(GetProcessTimes(GetCurrentProcess(), &creation, &exit, &kernel, nullptr));
}

}  // namespace
