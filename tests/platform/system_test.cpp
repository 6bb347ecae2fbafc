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

}  // namespace
