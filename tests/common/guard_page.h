// Test helper: a copy of some bytes that ends exactly where readable memory
// ends (a reserved, inaccessible page follows), so that a read past their
// last byte faults instead of passing unseen, in any build.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include <windows.h>

namespace vkt::test {

class BytesAgainstAGuardPage {
 public:
  BytesAgainstAGuardPage(const uint8_t* data, size_t size) {
    const size_t committed = (size + kPage - 1) / kPage * kPage;
    base_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, committed + kPage, MEM_RESERVE, PAGE_NOACCESS));
    if (committed) {
      EXPECT_NE(VirtualAlloc(base_, committed, MEM_COMMIT, PAGE_READWRITE), nullptr);
    }
    bytes_ = base_ + committed - size;
    if (size) std::memcpy(bytes_, data, size);
  }
  ~BytesAgainstAGuardPage() { VirtualFree(base_, 0, MEM_RELEASE); }
  BytesAgainstAGuardPage(const BytesAgainstAGuardPage&) = delete;
  BytesAgainstAGuardPage& operator=(const BytesAgainstAGuardPage&) = delete;
  uint8_t* bytes() const { return bytes_; }

 private:
  static constexpr size_t kPage = 65536;
  uint8_t* base_ = nullptr;
  uint8_t* bytes_ = nullptr;
};

}  // namespace vkt::test
