// The viewer at work: the channels of one logged-in device shown in the
// tiles of a GridWindow, the keys, the live figures, and what the SDK's
// events tell of the device (lost, reconnecting, back). Runs the thread's
// message loop, which the SDK needs for its pictures and events to flow.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "grid_window.h"
#include "headless_pictures.h"
#include "picture_stats.h"
#include "viewer_options.h"
#include "vkt7100sdk_events.h"

namespace vkt::viewer {

class ViewerApp : public GridEvents {
 public:
  ViewerApp(void* handle, const ViewerOptions& options, const std::string& title, uint32_t channels);

  // Opens every channel into its tile (or, --headless, without a window,
  // into the picture callback); false if the window could not be made or a
  // channel did not open.
  bool openChannels();
  // Runs until quit: a key, the window closed, --seconds over, or the
  // device lost with --exit-on-loss. Then prints the figures and saves the
  // --snapshot and --capture pictures.
  void run();
  void closeChannels();
  // True while the device is lost (and not reconnected).
  bool deviceLost() const { return lost_; }

 private:
  void onKey(WPARAM virtualKey) override;
  void onTimer(UINT_PTR id) override;
  void onClose() override;

  static void VKT_CALL eventCallback(void* handle, const VKT_Event* event, void* user);
  void onSdkEvent(const VKT_Event& event);

  // Pictures shown per tile as the SDK counts them; the times of the
  // latest picture and the longest gap from the display where it keeps
  // them (POSIX), else from the count's changes (a second's precision).
  std::vector<TilePictures> readTiles();
  void everySecond();
  // --record-split: the recording goes on in the next file of the series.
  void continueRecording();
  void markLost(const VKT_Event& event);
  void saveTiles(const std::string& directory, const std::string& prefix) const;
  // Each channel's last picture through the SDK's snapshot (--capture).
  void capturePictures() const;
  // The SDK's figures of the one-second line: dropped before decoding and
  // latency, per channel; empty where the SDK keeps none.
  std::string sdkFigures() const;

  void* handle_;
  const ViewerOptions& options_;
  GridWindow grid_;
  HeadlessPictures headless_;
  DWORD startTick_;
  PictureStats stats_;
  std::vector<TilePictures> atLoss_;  // the tiles' counts when the loss was seen
  std::vector<TilePictures> counted_;  // the previous read, for the times kept here
  bool lost_ = false;
  int snapshots_ = 0;
  uint32_t recordParts_ = 1;  // files of the recording so far
};

}  // namespace vkt::viewer
