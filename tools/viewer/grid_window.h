// The viewer's window: one top-level window holding one child window (a
// tile) per channel in a grid. The tiles follow the window's size (WM_SIZE),
// and one tile at a time can fill the whole window. Keys, timers and the
// window's close reach the owner through GridEvents; everything runs on the
// thread that created the window, inside its message loop.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace vkt::viewer {

class GridEvents {
 public:
  virtual void onKey(WPARAM virtualKey) = 0;
  virtual void onTimer(UINT_PTR id) = 0;
  virtual void onClose() = 0;

 protected:
  ~GridEvents() = default;
};

class GridWindow {
 public:
  // Creates and shows the window, titled `title`, at the screen's top left
  // with room for `tiles` pictures of pictureWidth x pictureHeight at their
  // own size, or less to fit the screen. A window not `visible` is never
  // shown: it carries the keys and timers only.
  GridWindow(const std::string& title, int tiles, int pictureWidth, int pictureHeight, GridEvents& events,
             bool visible = true);
  ~GridWindow();
  GridWindow(const GridWindow&) = delete;
  GridWindow& operator=(const GridWindow&) = delete;

  // False if the window or a tile could not be created.
  bool valid() const;
  HWND window() const { return window_; }
  int tileCount() const { return static_cast<int>(tiles_.size()); }
  HWND tile(int index) const { return tiles_[index]; }

  // The tile that fills the window, or -1 while the grid shows.
  int filledTile() const { return filled_; }
  // Lets `index` fill the window, or the grid show again if it already does.
  void toggleFill(int index);
  // The tile under the pointer, or -1.
  int tileUnderPointer() const;

 private:
  static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  // Places the tiles for the client size: the grid, or the filled tile
  // over the whole area with the others hidden.
  void layout();

  GridEvents& events_;
  HWND window_ = nullptr;
  std::vector<HWND> tiles_;
  int filled_ = -1;
};

}  // namespace vkt::viewer
