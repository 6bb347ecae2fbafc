// The viewer at work (see viewer_app.h).
#include "viewer_app.h"

#include <algorithm>
#include <cstdio>

#include "record_parts.h"
#include "result_report.h"
#include "tile_capture.h"
#include "tile_dimmer.h"
#include "viewer_keys.h"
#include "vkt7100sdk.h"
#include "vkt7100sdk_callbacks.h"
#include "vkt7100sdk_pictures.h"
#include "vkt7100sdk_recording.h"

namespace vkt::viewer {
namespace {

const UINT_PTR kSecondTimer = 1;
const UINT_PTR kRunTimer = 2;
const UINT_PTR kSplitTimer = 3;
// The size both device kinds' pictures come at; tiles stretch them.
const int kPictureWidth = 352;
const int kPictureHeight = 288;
}  // namespace

ViewerApp::ViewerApp(void* handle, const ViewerOptions& options, const std::string& title, uint32_t channels)
    : handle_(handle),
      options_(options),
      grid_(title, static_cast<int>(channels), kPictureWidth, kPictureHeight, *this, !options.headless),
      headless_(channels),
      startTick_(GetTickCount()),
      stats_(channels, startTick_, processCpuTime()) {
  VKT_SetEventCallback(handle_, eventCallback, this);
}

bool ViewerApp::openChannels() {
  if (!grid_.valid()) {
    std::printf("viewer window could not be created\n");
    return false;
  }
  bool opened = true;
  for (int channel = 0; channel < grid_.tileCount(); ++channel) {
    const std::string step = "open channel " + std::to_string(channel);
    const auto number = static_cast<uint32_t>(channel);
    int32_t result;
    if (options_.headless) {
      VKT_SetPictureCallback(handle_, number, HeadlessPictures::take, &headless_);
      result = VKT_OpenChannelWithoutWindow(handle_, number, 1);
    } else {
      result = VKT_OpenChannel(handle_, number, grid_.tile(channel));
    }
    opened = report(step.c_str(), result) && opened;
  }
  return opened;
}

void ViewerApp::run() {
  if (!grid_.valid()) return;
  SetTimer(grid_.window(), kSecondTimer, 1000, nullptr);
  if (options_.seconds > 0) SetTimer(grid_.window(), kRunTimer, options_.seconds * 1000, nullptr);
  if (options_.recordSplitSeconds > 0) SetTimer(grid_.window(), kSplitTimer, options_.recordSplitSeconds * 1000, nullptr);

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }

  const std::vector<TilePictures> tiles = lost_ ? atLoss_ : readTiles();
  if (options_.stats) std::printf("%s\n", stats_.summaryLine(GetTickCount(), tiles).c_str());
  DWORD shown = 0;
  for (const TilePictures& tile : tiles) shown += tile.pictures;
  std::printf("pictures shown    %lu\n", static_cast<unsigned long>(shown));
  if (!options_.snapshotDir.empty()) saveTiles(options_.snapshotDir, "");
  if (!options_.captureDir.empty()) capturePictures();
  std::fflush(stdout);
}

void ViewerApp::capturePictures() const {
  const char* ending = options_.kind == VKT_KIND_JPEG ? ".jpg" : ".bmp";
  for (int channel = 0; channel < grid_.tileCount(); ++channel) {
    const std::string path = options_.captureDir + "/ch" + std::to_string(channel) + ending;
    const int32_t result = VKT_SavePicture(handle_, static_cast<uint32_t>(channel), path.c_str());
    std::printf("capture %s: %s\n", path.c_str(), result == VKT_OK ? "saved" : "failed");
  }
}

void ViewerApp::closeChannels() {
  for (int channel = 0; channel < grid_.tileCount(); ++channel) {
    const std::string step = "close channel " + std::to_string(channel);
    report(step.c_str(), VKT_CloseChannel(handle_, static_cast<uint32_t>(channel)));
  }
  std::fflush(stdout);
}

void ViewerApp::onKey(WPARAM virtualKey) {
  const KeyAction action = keyAction(virtualKey);
  switch (action.command) {
    case KeyCommand::Quit:
      PostQuitMessage(0);
      break;
    case KeyCommand::Snapshot:
      saveTiles(options_.snapshotDir.empty() ? "." : options_.snapshotDir,
                "snapshot" + std::to_string(++snapshots_) + "-");
      break;
    case KeyCommand::FillPointerTile: {
      const int tile = grid_.tileUnderPointer();
      grid_.toggleFill(tile >= 0 ? tile : 0);
      break;
    }
    case KeyCommand::FillTile:
      grid_.toggleFill(action.tile);
      break;
    case KeyCommand::None:
      break;
  }
}

void ViewerApp::onTimer(UINT_PTR id) {
  if (id == kRunTimer) PostQuitMessage(0);
  if (id == kSecondTimer) everySecond();
  if (id == kSplitTimer) continueRecording();
}

void ViewerApp::continueRecording() {
  const std::string next = recordingPartName(options_.recordFile, recordParts_);
  if (report("continue record", VKT_ContinueRecord(handle_, 0, next.c_str()))) {
    ++recordParts_;
    std::printf("recording into     %s from the next segment header\n", next.c_str());
    std::fflush(stdout);
  }
}

void ViewerApp::onClose() { PostQuitMessage(0); }

std::vector<TilePictures> ViewerApp::readTiles() {
  const DWORD now = GetTickCount();
  std::vector<TilePictures> tiles(static_cast<size_t>(grid_.tileCount()));
  counted_.resize(tiles.size());
  for (size_t index = 0; index < tiles.size(); ++index) {
    TilePictures& tile = tiles[index];
    if (options_.headless) {
      tile = headless_.channel(index);
      continue;
    }
    const bool displayTimes = readTilePictures(grid_.tile(static_cast<int>(index)), tile);
    VKT_PICTURE_COUNTS counts{};
    counts.size = sizeof counts;
    if (VKT_GetPictureCounts(handle_, static_cast<uint32_t>(index), &counts) != VKT_OK) continue;
    // No display hook (Windows): the SDK's own count of pictures shown, and
    // the times of their arrival as this viewer sees them.
    TilePictures& before = counted_[index];
    if (!displayTimes) {
      tile = before;
      if (counts.shown != before.pictures) {
        const DWORD since = now - (before.pictures ? before.lastPictureTick : startTick_);
        tile.longestGap = std::max(before.longestGap, since);
        tile.lastPictureTick = now;
      }
    }
    tile.pictures = counts.shown;
    before = tile;
  }
  return tiles;
}

// "  dropped ch0 <n> ch1 ...  latency ch0 <median>/<worst>ms ...": per
// channel, the pictures the SDK dropped before decoding so far (not asked
// for, replaced while waiting, or behind the stream), and how late the
// pictures of the last second were drawn (headless: handed over).
std::string ViewerApp::sdkFigures() const {
  std::string dropped = "  dropped";
  std::vector<ChannelLatency> latency;
  for (int channel = 0; channel < grid_.tileCount(); ++channel) {
    VKT_PICTURE_COUNTS counts{};
    counts.size = sizeof counts;
    if (VKT_GetPictureCounts(handle_, static_cast<uint32_t>(channel), &counts) != VKT_OK) return "";
    dropped += " ch" + std::to_string(channel) + " " + std::to_string(counts.droppedBeforeDecoding);
    latency.push_back(options_.headless ? ChannelLatency{counts.callbackLatencyMedianUs, counts.callbackLatencyWorstUs}
                                        : ChannelLatency{counts.blitLatencyMedianUs, counts.blitLatencyWorstUs});
  }
  return dropped + latencyFigures(latency);
}

void ViewerApp::everySecond() {
  const DWORD now = GetTickCount();
  const std::vector<TilePictures> tiles = readTiles();
  if (options_.stats) {
    std::printf("%s%s\n", stats_.secondLine(now, processCpuTime(), tiles).c_str(), sdkFigures().c_str());
    std::fflush(stdout);
  }
}

void VKT_CALL ViewerApp::eventCallback(void*, const VKT_Event* event, void* user) {
  static_cast<ViewerApp*>(user)->onSdkEvent(*event);
}

void ViewerApp::onSdkEvent(const VKT_Event& event) {
  switch (event.type) {
    case VKT_EVENT_CONNECTION_LOST:
      markLost(event);
      break;
    case VKT_EVENT_RECONNECTING:
      std::printf("reconnecting       attempt %d in %d ms\n", event.value1, event.value2);
      break;
    case VKT_EVENT_RECONNECTED:
      lost_ = false;
      std::printf("reconnected        after %d attempt(s)\n", event.value1);
      break;
    case VKT_EVENT_RECONNECT_ABANDONED:
      std::printf("reconnect given up %s\n", event.text);
      if (options_.exitOnLoss) PostQuitMessage(0);
      break;
    case VKT_EVENT_FIRST_PICTURE:
      std::printf("first picture      channel %d, %dx%d\n", event.channel, event.value1, event.value2);
      break;
    case VKT_EVENT_PICTURE_SIZE:
      std::printf("picture size       channel %d, %dx%d\n", event.channel, event.value1, event.value2);
      break;
    case VKT_EVENT_PICTURES_DROPPED:
      std::printf("pictures dropped   %d\n", event.value1);
      break;
    case VKT_EVENT_RECORD_STOPPED:
      std::printf("recording stopped  %s\n", event.text);
      break;
    default:
      break;
  }
  std::fflush(stdout);
}

void ViewerApp::markLost(const VKT_Event& event) {
  lost_ = true;
  atLoss_ = readTiles();
  std::printf("device lost        %s\n", event.text);
  std::fflush(stdout);
  // While the SDK reconnects the tiles say so; the first new picture
  // draws over the label.
  const char* label = options_.reconnectMs ? "reconnecting" : nullptr;
  for (int index = 0; index < grid_.tileCount(); ++index) dimTile(grid_.tile(index), label);
  // A device that may come back is lost for good only once the SDK gives up.
  if (options_.exitOnLoss && !options_.reconnectMs) PostQuitMessage(0);
}

void ViewerApp::saveTiles(const std::string& directory, const std::string& prefix) const {
  for (int channel = 0; channel < grid_.tileCount(); ++channel) {
    const std::string path = directory + "/" + prefix + "channel" + std::to_string(channel) + ".png";
    std::printf("snapshot %s: %s\n", path.c_str(), saveTilePng(grid_.tile(channel), path) ? "saved" : "failed");
  }
  std::fflush(stdout);
}

}  // namespace vkt::viewer
