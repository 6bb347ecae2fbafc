// LoadLibraryA, GetProcAddress and FreeLibrary: built-in modules, the
// missing-module switch, shared objects and reference counts.
#include <gtest/gtest.h>

#include <windows.h>

#include "function_cast.h"

namespace {

TEST(Modules, Advapi32IsBuiltInUnderAnyCaseWithOrWithoutDll) {
  HMODULE a = LoadLibraryA("advapi32");
  HMODULE b = LoadLibraryA("ADVAPI32.DLL");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, b);
  EXPECT_EQ(GetProcAddress(a, "RegOpenKeyExA"), AsFarProc(&RegOpenKeyExA));
  EXPECT_EQ(GetProcAddress(a, "RegQueryValueExA"), AsFarProc(&RegQueryValueExA));
  EXPECT_EQ(GetProcAddress(a, "RegCloseKey"), AsFarProc(&RegCloseKey));
  SetLastError(0);
  EXPECT_EQ(GetProcAddress(a, "RegSetValueExA"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));

  EXPECT_TRUE(FreeLibrary(a));
  EXPECT_NE(GetProcAddress(a, "RegCloseKey"), nullptr) << "one load is still open";
  EXPECT_TRUE(FreeLibrary(b));
  EXPECT_EQ(GetProcAddress(a, "RegCloseKey"), nullptr) << "every load was freed";
  EXPECT_FALSE(FreeLibrary(a));
}

TEST(Modules, MissingSwitchHidesAModule) {
  PlatformSetModuleMissing("Advapi32.dll", TRUE);
  SetLastError(0);
  EXPECT_EQ(LoadLibraryA("advapi32"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  PlatformSetModuleMissing("advapi32", FALSE);
  HMODULE module = LoadLibraryA("advapi32");
  EXPECT_NE(module, nullptr);
  FreeLibrary(module);
}

TEST(Modules, OtherNamesLoadSharedObjects) {
  HMODULE module = LoadLibraryA("platform_test_module.dll");  // found as libplatform_test_module.so
  ASSERT_NE(module, nullptr);
  auto answer = FromFarProc<int (*)()>(GetProcAddress(module, "PlatformTestModuleAnswer"));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  EXPECT_EQ(GetProcAddress(module, "NoSuchFunction"), nullptr);
  EXPECT_TRUE(FreeLibrary(module));
  EXPECT_FALSE(FreeLibrary(module));

  SetLastError(0);
  EXPECT_EQ(LoadLibraryA("no_such_module_anywhere"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
  EXPECT_EQ(GetProcAddress(reinterpret_cast<HMODULE>(0x1234), "x"), nullptr);
}

}  // namespace
