// Packet handling of the simulated kind-7100 device.
#include "jpeg_device.h"

#include "channel_picture.h"

namespace vkt::devsim {

JpegDevice::JpegDevice(ClientLink& link, const SimulatorOptions& options) : SimulatedDevice(link, options) {
  if (!options_.requestLog.empty()) requestLog_ = std::fopen(options_.requestLog.c_str(), "a");
}

JpegDevice::~JpegDevice() {
  if (requestLog_) std::fclose(requestLog_);
}

void JpegDevice::onPacket(const ReceivedFrame& frame) {
  switch (frame.header.type) {
    case wire::kPacketLogin:
      // A kind-7100 device has no ready notice: one that never gets ready
      // never answers the login.
      if (options_.noReady) {
        std::fprintf(stderr, "devsim: login left unanswered (--no-ready)\n");
        break;
      }
      loggedIn_ = answerLogin(frame, 0, static_cast<uint8_t>(options_.channels));
      if (loggedIn_ && options_.unrequested) pushUnrequestedPictures();
      break;
    case wire::kPacketInit:
      refuseOtherKind();
      break;
    case wire::kPacketPictureRequest: {
      uint32_t mask = 0;
      if (!loggedIn_ || !wire::decodePictureRequest(frame.payload.data(), frame.payload.size(), mask)) {
        std::fprintf(stderr, "devsim: picture request refused (not logged in or short)\n");
        break;
      }
      // Only the first request goes to stderr: they come every few milliseconds.
      if (pictureRequests_++ == 0) std::fprintf(stderr, "devsim: picture requests, mask 0x%x\n", mask);
      logRequest(mask);
      sendPictures(mask);
      break;
    }
    default:
      std::fprintf(stderr, "devsim: unknown packet type %u ignored\n", frame.header.type);
      break;
  }
}

// The channels a picture can name, of those the device has.
unsigned JpegDevice::servedChannels() const {
  return options_.channels < 16 ? static_cast<unsigned>(options_.channels) : 16;
}

// Channels the device does not have are ignored, as are bits past the
// sixteen a picture can name.
void JpegDevice::sendPictures(uint32_t mask) {
  const unsigned channels = servedChannels();
  for (unsigned channel = 0; channel < channels; ++channel) {
    if (!(mask & (1u << channel))) continue;
    const std::vector<uint8_t> picture = channelPicture(channel, framesSent_[channel]++);
    if (picture.empty()) continue;
    if (!link_.sendData(wire::kDataPicture, picture.data(), static_cast<uint32_t>(picture.size()))) return;
    pictureLog_.record(channel);
  }
}

// --unrequested: a misbehaving device that sends every channel's pictures
// back to back, as fast as the link takes them, whatever was asked.
void JpegDevice::pushUnrequestedPictures() {
  const unsigned channels = servedChannels();
  if (channels == 0) return;
  startPump([this, channels, sent = uint32_t{0}]() mutable {
    const unsigned channel = sent % channels;
    const std::vector<uint8_t> picture = channelPicture(channel, sent++ / channels);
    return !picture.empty() &&
           link_.sendData(wire::kDataPicture, picture.data(), static_cast<uint32_t>(picture.size()));
  });
}

// The channel's next picture: the test card or camera scene, or with
// --pictures the directory's files. Channel c's n-th picture is file
// c + n x (channel count), modulo the file count: each channel starts at
// its own file and steps a channel count at a time, so channels asked for
// pictures at different moments still show different files (always, when
// the file count is a multiple of the channel count).
std::vector<uint8_t> JpegDevice::channelPicture(unsigned channel, uint32_t frame) const {
  if (!options_.content || options_.content->pictures.empty())
    return encodeChannelPicture(channel, frame, options_.cameraScene ? ChannelScene::kCamera : ChannelScene::kCard);
  const auto& files = options_.content->pictures;
  const uint64_t step = servedChannels() ? servedChannels() : 1;
  std::vector<uint8_t> picture = files[(channel + step * frame) % files.size()];
  picture[kPictureChannelByte] = static_cast<uint8_t>(channel & 0x0F);
  return picture;
}

void JpegDevice::logRequest(uint32_t mask) {
  if (!requestLog_) return;
  std::fprintf(requestLog_, "0x%x\n", mask);
  std::fflush(requestLog_);
}

}  // namespace vkt::devsim
