// The file a kind-7100 recording goes into: the pictures of one channel as
// the device sent them, each with its arrival time, so that a reader gets
// back every picture the SDK received, at its time.
//
//   file header, 16 bytes: "VKTJPEG1", uint32 channel, uint32 0
//   per picture, 16 bytes then the picture:
//     "pict", uint32 length of the picture in bytes,
//     uint64 arrival in microseconds from the recording's start
//   (integers little-endian)
//
// Pictures follow one another with nothing between them; a recording cut
// short ends in a part of a record, which a reader leaves out.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr char kPictureRecordingMagic[8] = {'V', 'K', 'T', 'J', 'P', 'E', 'G', '1'};
constexpr char kPictureRecordTag[4] = {'p', 'i', 'c', 't'};
constexpr size_t kPictureRecordingHeaderBytes = 16;
constexpr size_t kPictureRecordHeaderBytes = 16;
// No kind-7100 picture is larger: the transport takes no bigger packet.
constexpr uint32_t kMaxRecordedPictureBytes = 64u << 20;
