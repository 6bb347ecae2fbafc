// Files: creation dispositions, round trips, pointer moves and errors.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include <windows.h>

namespace {

class FileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/platform_file_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    path_ = dir_ + "/data.bin";
  }
  void TearDown() override {
    unlink(path_.c_str());
    rmdir(dir_.c_str());
  }
  HANDLE Open(DWORD access, DWORD creation) {
    return CreateFileA(path_.c_str(), access, FILE_SHARE_READ, nullptr, creation, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  std::string dir_, path_;
};

TEST_F(FileTest, RoundTripAndPointerMoves) {
  HANDLE file = Open(GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(file, "0123456789", 10, &written, nullptr));
  EXPECT_EQ(written, 10u);
  EXPECT_EQ(GetFileSize(file, nullptr), 10u);

  EXPECT_EQ(SetFilePointer(file, 2, nullptr, FILE_BEGIN), 2u);
  EXPECT_EQ(SetFilePointer(file, 3, nullptr, FILE_CURRENT), 5u);
  char buffer[16] = {};
  DWORD read = 0;
  ASSERT_TRUE(ReadFile(file, buffer, 3, &read, nullptr));
  EXPECT_EQ(read, 3u);
  EXPECT_EQ(std::string(buffer, 3), "567");
  EXPECT_EQ(SetFilePointer(file, -4, nullptr, FILE_END), 6u);
  ASSERT_TRUE(ReadFile(file, buffer, sizeof buffer, &read, nullptr));
  EXPECT_EQ(std::string(buffer, read), "6789") << "a read past the end is short, not an error";
  ASSERT_TRUE(ReadFile(file, buffer, sizeof buffer, &read, nullptr));
  EXPECT_EQ(read, 0u);

  SetLastError(0);
  EXPECT_EQ(SetFilePointer(file, -1, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));
  EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_CURRENT), 10u) << "a failed move leaves the position";
  EXPECT_EQ(SetFilePointer(file, 0, nullptr, 7), INVALID_SET_FILE_POINTER);
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_FALSE(ReadFile(file, buffer, 1, &read, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(FileTest, SixtyFourBitPositionsGoThroughDistanceHigh) {
  HANDLE file = Open(GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  LONG high = 1;  // 4 GiB + 16, a sparse hole
  EXPECT_EQ(SetFilePointer(file, 16, &high, FILE_BEGIN), 16u);
  EXPECT_EQ(high, 1);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(file, "x", 1, &written, nullptr));
  DWORD sizeHigh = 0;
  EXPECT_EQ(GetFileSize(file, &sizeHigh), 17u);
  EXPECT_EQ(sizeHigh, 1u);
  SetLastError(0);
  EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_END), INVALID_SET_FILE_POINTER)
      << "a position beyond 32 bits needs distanceHigh";
  high = -1;  // back by 17 bytes: high:low = -17
  EXPECT_EQ(SetFilePointer(file, -17, &high, FILE_CURRENT), 0u);
  EXPECT_EQ(high, 1);
  // Without distanceHigh, 0xFFFFFFFE is the last position that can be
  // returned; 0xFFFFFFFF would read as the failure value, so it fails.
  high = 0;
  EXPECT_EQ(SetFilePointer(file, static_cast<LONG>(0xFFFFFFFEu), &high, FILE_BEGIN), 0xFFFFFFFEu);
  EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_CURRENT), 0xFFFFFFFEu);
  EXPECT_EQ(SetFilePointer(file, 1, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_CURRENT), 0xFFFFFFFEu);
  CloseHandle(file);
}

TEST_F(FileTest, CreationDispositions) {
  SetLastError(0);
  EXPECT_EQ(Open(GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(Open(GENERIC_WRITE, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE);

  HANDLE file = Open(GENERIC_WRITE, OPEN_ALWAYS);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), 0u);
  DWORD written;
  WriteFile(file, "abc", 3, &written, nullptr);
  CloseHandle(file);

  EXPECT_EQ(Open(GENERIC_WRITE, CREATE_NEW), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));

  file = Open(GENERIC_READ, OPEN_ALWAYS);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(GetFileSize(file, nullptr), 3u) << "OPEN_ALWAYS keeps the contents";
  EXPECT_FALSE(WriteFile(file, "d", 1, &written, nullptr)) << "opened for reading only";
  CloseHandle(file);

  EXPECT_EQ(Open(GENERIC_READ, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE) << "truncation needs write access";
  file = Open(GENERIC_WRITE, TRUNCATE_EXISTING);
  EXPECT_EQ(GetFileSize(file, nullptr), 0u);
  WriteFile(file, "abc", 3, &written, nullptr);
  CloseHandle(file);
  file = Open(GENERIC_WRITE, CREATE_ALWAYS);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(GetFileSize(file, nullptr), 0u);
  CloseHandle(file);

  EXPECT_EQ(CreateFileA(dir_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(Open(GENERIC_READ, 99), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

  // With standard input closed the file gets descriptor 0, and keeps it
  // whatever errno held before: closing the handle frees descriptor 0.
  const int input = dup(0);
  close(0);
  errno = EINTR;
  file = Open(GENERIC_READ, OPEN_EXISTING);
  EXPECT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  EXPECT_EQ(fcntl(0, F_GETFD), -1);
  dup2(input, 0);
  close(input);
}

}  // namespace
