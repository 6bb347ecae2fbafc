// The pictures the simulated kind-7100 device sends: one 352x288 JPEG per
// channel and request, a solid colour of the channel's own (the test card)
// or a camera-like scene of the channel's own (camera_scene.h), with a band
// at the bottom that shows the channel number (channel + 1 white squares)
// and a marker that moves with the frame counter, so every picture differs.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vkt::devsim {

constexpr int kPictureWidth = 352;
constexpr int kPictureHeight = 288;
// Byte of the picture that carries the channel number in its low four bits:
// the last byte of the JFIF identifier.
constexpr size_t kPictureChannelByte = 10;

enum class ChannelScene { kCard, kCamera };

// The colour that fills the card of `channel` (0 to 15), 0x00RRGGBB.
uint32_t channelColour(unsigned channel);

// A baseline JPEG of the channel's picture with the channel number in byte
// 10; empty if encoding failed.
std::vector<uint8_t> encodeChannelPicture(unsigned channel, uint32_t frame, ChannelScene scene = ChannelScene::kCard);

// A baseline JFIF JPEG of `rgb` (red, green, blue bytes, rows top first).
std::vector<uint8_t> encodeJpeg(const uint8_t* rgb, int width, int height);

}  // namespace vkt::devsim
