// Test helper: builds JPEG marker streams segment by segment, so that a
// test states exactly which markers and fields a stream holds, and a
// decoder record that is initialised and freed around each test.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "jpeg_record.h"
#include "vktjpeg.h"

struct FrameComponentSpec {
  uint8_t id;
  uint8_t factors;  // H << 4 | V
  uint8_t tq;
};

struct ScanComponentSpec {
  uint8_t id;
  uint8_t tables;  // Td << 4 | Ta
};

// Appends byte by byte: GCC 12 at -O3 reports a vector range insert of a
// short list as an out-of-bounds or null copy (-Warray-bounds, -Wnonnull).
inline void append_bytes(std::vector<uint8_t>& out, std::initializer_list<uint8_t> bytes) {
  for (uint8_t byte : bytes) out.push_back(byte);
}

class MarkerStream {
 public:
  MarkerStream& raw(std::initializer_list<uint8_t> bytes) {
    append_bytes(bytes_, bytes);
    return *this;
  }
  MarkerStream& marker(uint8_t code) { return raw({0xFF, code}); }
  MarkerStream& soi() { return marker(0xD8); }
  MarkerStream& eoi() { return marker(0xD9); }
  // A marker segment: code, length (body + 2), body.
  MarkerStream& segment(uint8_t code, const std::vector<uint8_t>& body) {
    marker(code);
    const size_t length = body.size() + 2;
    raw({static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)});
    bytes_.insert(bytes_.end(), body.begin(), body.end());
    return *this;
  }
  MarkerStream& sof(uint8_t code, uint8_t precision, uint16_t height, uint16_t width,
                    std::initializer_list<FrameComponentSpec> components) {
    std::vector<uint8_t> body = {precision, static_cast<uint8_t>(height >> 8), static_cast<uint8_t>(height),
                                 static_cast<uint8_t>(width >> 8), static_cast<uint8_t>(width),
                                 static_cast<uint8_t>(components.size())};
    for (const FrameComponentSpec& c : components) append_bytes(body, {c.id, c.factors, c.tq});
    return segment(code, body);
  }
  // A grey 8-bit baseline frame of one 1x1 component with id 1 and table 0.
  MarkerStream& grey_frame(uint16_t width = 8, uint16_t height = 8, uint8_t code = 0xC0) {
    return sof(code, 8, height, width, {{1, 0x11, 0}});
  }
  // An 8-bit quantisation table of all ones.
  MarkerStream& dqt(uint8_t id) {
    std::vector<uint8_t> body(65, 1);
    body[0] = id;
    return segment(0xDB, body);
  }
  // A Huffman table with one 1-bit code for symbol 0.
  MarkerStream& dht(uint8_t class_and_id) {
    std::vector<uint8_t> body(18, 0);
    body[0] = class_and_id;
    body[1] = 1;  // one code of length 1
    body[17] = 0;  // symbol 0
    return segment(0xC4, body);
  }
  MarkerStream& sos(std::initializer_list<ScanComponentSpec> components, uint8_t ss = 0, uint8_t se = 63,
                    uint8_t ah_al = 0) {
    std::vector<uint8_t> body = {static_cast<uint8_t>(components.size())};
    for (const ScanComponentSpec& c : components) append_bytes(body, {c.id, c.tables});
    append_bytes(body, {ss, se, ah_al});
    return segment(0xDA, body);
  }
  MarkerStream& comment(const std::string& text) { return segment(0xFE, std::vector<uint8_t>(text.begin(), text.end())); }
  // Tables and a grey frame, then one scan whose data decodes as all zero.
  MarkerStream& grey_image(uint16_t width = 8, uint16_t height = 8) {
    dqt(0).dht(0x00).dht(0x10).grey_frame(width, height).sos({{1, 0x00}});
    return raw({0x00, 0x00});
  }

  const std::vector<uint8_t>& bytes() const { return bytes_; }
  size_t size() const { return bytes_.size(); }

 private:
  std::vector<uint8_t> bytes_;
};

// A record initialised for the test's lifetime (on the heap: it is 64 KiB).
class DecoderRecord {
 public:
  DecoderRecord() : p_(std::make_unique<JPEG_PROPERTIES>()) { EXPECT_EQ(JpegInit(p_.get()), JPEG_SUCCESS); }
  ~DecoderRecord() { JpegFree(p_.get()); }
  JPEG_PROPERTIES* operator->() { return p_.get(); }
  JPEG_PROPERTIES* get() { return p_.get(); }
  DecoderState& state() { return state_of(*p_); }

  // Reads `stream` from memory in `mode`.
  JpegStatus read_buffer(const std::vector<uint8_t>& stream, JpegReadMode mode = READ_PARAMS_BUFFER) {
    p_->jpeg_bytes = stream.data();
    p_->jpeg_size_bytes = static_cast<uint32_t>(stream.size());
    return JpegRead(p_.get(), mode);
  }

 private:
  std::unique_ptr<JPEG_PROPERTIES> p_;
};
