// The viewer at work: the channels of one logged-in device shown in the
// tiles of a GridWindow, the keys, the live figures, and the watch for a
// lost device. Runs the thread's message loop, which the SDK needs for its
// pictures to flow.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "grid_window.h"
#include "picture_stats.h"
#include "viewer_options.h"

namespace vkt::viewer {

class ViewerApp : public GridEvents {
 public:
  ViewerApp(void* handle, const ViewerOptions& options, const std::string& title, uint32_t channels);

  // Opens every channel into its tile; false if the window could not be
  // made or a channel did not open.
  bool openChannels();
  // Runs until quit: a key, the window closed, --seconds over, or the
  // device lost with --exit-on-loss. Then prints the figures and saves the
  // --snapshot pictures.
  void run();
  void closeChannels();
  // True once the device was found lost.
  bool deviceLost() const { return lost_; }

 private:
  void onKey(WPARAM virtualKey) override;
  void onTimer(UINT_PTR id) override;
  void onClose() override;

  std::vector<TilePictures> readTiles() const;
  void everySecond();
  // Asks the SDK whether the connection is still there, with a call that
  // changes nothing while it is.
  void watchForLoss();
  void markLost(int32_t result, const std::vector<TilePictures>& tiles);
  void saveTiles(const std::string& directory, const std::string& prefix) const;

  void* handle_;
  const ViewerOptions& options_;
  GridWindow grid_;
  DWORD startTick_;
  PictureStats stats_;
  std::vector<TilePictures> atLoss_;  // the tiles' counts when the loss was seen
  bool lost_ = false;
  int snapshots_ = 0;
};

}  // namespace vkt::viewer
