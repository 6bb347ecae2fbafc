// The registry text file: value types, lookups, buffer sizes, malformed
// input, and access through LoadLibraryA("advapi32").
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>

#include <windows.h>

#include "function_cast.h"
#include "tests/common/temporary_registry.h"

namespace {

const char* const kKey = "Software\\Zivaz Corporation\\RODiruz\\VERiz";

class RegistryTest : public ::testing::Test {
 protected:
  void Write(const std::string& text) { registry_.write(text); }

  // Opens kKey, queries `name` with a buffer of `capacity` bytes.
  LSTATUS Query(const char* name, DWORD capacity, DWORD* type, std::string* bytes, DWORD* size) {
    HKEY key;
    LSTATUS status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_QUERY_VALUE, &key);
    if (status != ERROR_SUCCESS) return status;
    std::string buffer(capacity, '\x7f');
    *size = capacity;
    status = RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(buffer.data()), size);
    if (status == ERROR_SUCCESS) *bytes = buffer.substr(0, *size);
    RegCloseKey(key);
    return status;
  }

  vkt::test::TemporaryRegistry registry_;
};

TEST_F(RegistryTest, ReadsEachValueTypeAndCaseInsensitiveNames) {
  Write("Windows Registry Editor Version 5.00\r\n"
        "; a comment\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\zivaz corporation\\RODiruz\\VERiz]\r\n"
        "\"USECPU\"=dword:00000007\r\n"
        "\"Text\"=\"a \\\"quoted\\\" \\\\ path\"\r\n"
        "\"Blob\"=hex:01,ab,FF\r\n"
        "@=\"default\"\r\n");
  DWORD type = 0, size = 0;
  std::string bytes;
  ASSERT_EQ(Query("usecpu", 4, &type, &bytes, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(bytes, std::string("\x07\x00\x00\x00", 4));

  ASSERT_EQ(Query("Text", 64, &type, &bytes, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(bytes, std::string("a \"quoted\" \\ path\0", 18)) << "the size counts the terminating NUL";

  ASSERT_EQ(Query("Blob", 8, &type, &bytes, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_EQ(bytes, "\x01\xab\xff");

  ASSERT_EQ(Query(nullptr, 16, &type, &bytes, &size), ERROR_SUCCESS);
  EXPECT_EQ(bytes, std::string("default\0", 8));
}

TEST_F(RegistryTest, MissingKeysValuesAndSmallBuffers) {
  Write("[HKLM\\Software\\Zivaz Corporation\\RODiruz\\VERiz]\n\"Name\"=\"twelve chars\"\n");
  DWORD type = 0, size = 0;
  std::string bytes;
  EXPECT_EQ(Query("Other", 16, &type, &bytes, &size), ERROR_FILE_NOT_FOUND);

  EXPECT_EQ(Query("Name", 4, &type, &bytes, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 13u) << "the needed size comes back";
  EXPECT_EQ(type, REG_SZ);

  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Nobody", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\zivaz corporation", 0, KEY_READ, &key), ERROR_SUCCESS)
      << "a key with subkeys exists even without a section of its own";
  HKEY sub = nullptr;
  ASSERT_EQ(RegOpenKeyExA(key, "RODiruz\\VERiz", 0, KEY_READ, &sub), ERROR_SUCCESS);
  size = 0;
  EXPECT_EQ(RegQueryValueExA(sub, "Name", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 13u) << "a null buffer asks for the size";
  RegCloseKey(sub);
  RegCloseKey(key);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegQueryValueExA(key, "Name", nullptr, &type, nullptr, &size), ERROR_INVALID_HANDLE);

  Write("");  // the file is read again at every open
  EXPECT_EQ(Query("Name", 16, &type, &bytes, &size), ERROR_FILE_NOT_FOUND);
  unlink(registry_.path().c_str());
  EXPECT_EQ(Query("Name", 16, &type, &bytes, &size), ERROR_FILE_NOT_FOUND);
}

// Each root by its long and its short name in the file, each read apart.
TEST_F(RegistryTest, EveryRootByItsLongAndShortName) {
  const struct {
    HKEY root;
    const char* longName;
    const char* shortName;
  } roots[] = {{HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "HKLM"},
               {HKEY_CURRENT_USER, "HKEY_CURRENT_USER", "HKCU"},
               {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT", "HKCR"},
               {HKEY_USERS, "HKEY_USERS", "HKU"}};
  std::string text;
  for (int i = 0; i < 4; ++i) {
    text += std::string("[") + roots[i].longName + "\\" + kKey + "]\n\"Long\"=dword:" + std::to_string(i) + "\n";
    text += std::string("[") + roots[i].shortName + "\\" + kKey + "]\n\"Short\"=dword:" + std::to_string(i) + "\n";
  }
  Write(text);
  for (int i = 0; i < 4; ++i) {
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(roots[i].root, kKey, 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS) << roots[i].longName;
    for (const char* name : {"Long", "Short"}) {
      DWORD value = 99, size = sizeof value;
      EXPECT_EQ(RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size), ERROR_SUCCESS);
      EXPECT_EQ(value, DWORD(i)) << roots[i].longName << " " << name;
    }
    RegCloseKey(key);
  }
}

TEST_F(RegistryTest, MalformedLinesAreSkipped) {
  Write(std::string("\"Orphan\"=dword:1\n"
                    "[HKEY_NOWHERE\\Software\\Zivaz Corporation\\RODiruz\\VERiz]\n"
                    "\"Lost\"=dword:1\n"
                    "[HKEY_LOCAL_MACHINE\\Software\\Zivaz Corporation\\RODiruz\\VERiz]\n"
                    "\"TooLong\"=dword:123456789\n"
                    "\"NotHex\"=dword:12g4\n"
                    "\"Unterminated\"=\"abc\n"
                    "\"BadEscape\"=\"a\\nb\"\n"
                    "\"Trailing\"=\"abc\" junk\n"
                    "\"BadBlob\"=hex:1,,2\n"
                    "\"NoEquals\" dword:1\n"
                    "\"Empty\"=\n"
                    "\"Nul\"=\"a") +
        std::string(1, '\0') + "b\"\n" +
        "[HKEY_LOCAL_MACHINE\\Software\\Zivaz Corporation\\RODiruz\\VERiz\n"
        "\"AfterBrokenHeader\"=dword:1\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Zivaz Corporation\\RODiruz\\VERiz]\n"
        "\"Good\"=dword:ffffffff\n" +
        std::string(300, 'x') + "\n");
  DWORD type = 0, size = 0;
  std::string bytes;
  for (const char* name : {"Orphan", "Lost", "TooLong", "NotHex", "Unterminated", "BadEscape", "Trailing",
                           "BadBlob", "NoEquals", "Empty", "AfterBrokenHeader"}) {
    EXPECT_EQ(Query(name, 16, &type, &bytes, &size), ERROR_FILE_NOT_FOUND) << name;
  }
  ASSERT_EQ(Query("Good", 4, &type, &bytes, &size), ERROR_SUCCESS);
  EXPECT_EQ(bytes, "\xff\xff\xff\xff");
  // An embedded NUL is kept as data: the value is 4 bytes plus the final NUL.
  ASSERT_EQ(Query("Nul", 16, &type, &bytes, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 4u);

  Write(std::string(1 << 20, ';') + "\n[HKLM\\Software\\Zivaz Corporation\\RODiruz\\VERiz]\n\"Good\"=dword:1\n");
  EXPECT_EQ(Query("Good", 4, &type, &bytes, &size), ERROR_FILE_NOT_FOUND) << "an oversized file is ignored";
}

TEST_F(RegistryTest, MutatedFilesNeverBreakTheReader) {
  const std::string seed =
      "[HKEY_LOCAL_MACHINE\\Software\\Zivaz Corporation\\RODiruz\\VERiz]\n"
      "\"USECPU\"=dword:00000007\n\"Text\"=\"a \\\"b\\\" c\"\n\"Blob\"=hex:01,02,03\n@=\"d\"\n";
  uint32_t state = 12345;
  auto next = [&state] { return state = state * 1103515245u + 12345u; };
  for (int round = 0; round < 300; ++round) {
    std::string text = seed;
    for (int edits = 1 + next() % 8; edits > 0; --edits) {
      size_t at = next() % text.size();
      switch (next() % 3) {
        case 0: text[at] = static_cast<char>(next() >> 16); break;
        case 1: text.erase(at, 1 + next() % 4); break;
        default: text.insert(at, 1, "[]\"\\=@:,\n"[next() % 10]); break;
      }
      if (text.empty()) text.assign(1, '[');  // not from a literal: GCC 12 -O3 misreads that copy (-Wrestrict)
    }
    Write(text);
    for (const char* name : {"USECPU", "Text", "Blob", ""}) {
      DWORD type = 0, size = 0;
      std::string bytes;
      LSTATUS status = Query(name, 8, &type, &bytes, &size);
      ASSERT_TRUE(status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND || status == ERROR_MORE_DATA) << status;
      if (status == ERROR_SUCCESS) {
        ASSERT_LE(size, 8u);
        ASSERT_TRUE(type == REG_SZ || type == REG_DWORD || type == REG_BINARY);
      }
    }
  }
}

TEST_F(RegistryTest, ReachedThroughAdvapi32) {
  Write("[HKEY_LOCAL_MACHINE\\Software\\Zivaz Corporation\\RODiruz\\VERiz]\n\"USECPU\"=dword:00000003\n");
  HMODULE advapi = LoadLibraryA("advapi32");
  ASSERT_NE(advapi, nullptr);
  auto open = FromFarProc<decltype(&RegOpenKeyExA)>(GetProcAddress(advapi, "RegOpenKeyExA"));
  auto query = FromFarProc<decltype(&RegQueryValueExA)>(GetProcAddress(advapi, "RegQueryValueExA"));
  auto close = FromFarProc<decltype(&RegCloseKey)>(GetProcAddress(advapi, "RegCloseKey"));
  ASSERT_TRUE(open && query && close);
  HKEY key;
  ASSERT_EQ(open(HKEY_LOCAL_MACHINE, kKey, 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
  LONG value = -1;
  DWORD size = sizeof value;
  ASSERT_EQ(query(key, "USECPU", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size), ERROR_SUCCESS);
  EXPECT_EQ(value, 3);
  EXPECT_EQ(close(key), ERROR_SUCCESS);
  EXPECT_TRUE(FreeLibrary(advapi));
}

}  // namespace
