// The viewer's grid window (see grid_window.h), in plain Win32 calls.
#include "grid_window.h"

#include "grid_layout.h"
#include "viewer_keys.h"

namespace vkt::viewer {
namespace {

const char kGridClass[] = "VktViewerGrid";
const char kTileClass[] = "VktViewerTile";

void registerClasses(WNDPROC gridProc) {
  // A second registration fails harmlessly: the classes stay as they were.
  WNDCLASSA grid{};
  grid.lpfnWndProc = gridProc;
  grid.lpszClassName = kGridClass;
  RegisterClassA(&grid);
  WNDCLASSA tile{};
  tile.lpfnWndProc = DefWindowProcA;
  tile.lpszClassName = kTileClass;
  RegisterClassA(&tile);
}

}  // namespace

GridWindow::GridWindow(const std::string& title, int tiles, int pictureWidth, int pictureHeight,
                       GridEvents& events, bool visible)
    : events_(events) {
  registerClasses(windowProc);
  const WindowSize size = gridWindowSize(tiles, pictureWidth, pictureHeight, GetSystemMetrics(SM_CXSCREEN),
                                         GetSystemMetrics(SM_CYSCREEN));
  window_ = CreateWindowExA(0, kGridClass, title.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, size.width, size.height,
                            nullptr, nullptr, nullptr, nullptr);
  if (!window_) return;
  SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  for (int index = 0; index < tiles; ++index) {
    HWND tile = CreateWindowExA(0, kTileClass, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, window_, nullptr, nullptr,
                                nullptr);
    if (!tile) return;
    tiles_.push_back(tile);
  }
  layout();
  if (visible) ShowWindow(window_, SW_SHOW);
}

GridWindow::~GridWindow() {
  if (!window_) return;
  // Nothing reaches this object once it is gone.
  SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
  DestroyWindow(window_);  // and the tiles with it
}

bool GridWindow::valid() const { return window_ && !tiles_.empty(); }

void GridWindow::toggleFill(int index) {
  filled_ = vkt::viewer::toggleFill(filled_, index, tileCount());
  layout();
}

int GridWindow::tileUnderPointer() const {
  if (filled_ >= 0) return filled_;
  POINT point;
  RECT client;
  if (!GetCursorPos(&point) || !ScreenToClient(window_, &point) || !GetClientRect(window_, &client)) return -1;
  return tileAt(point, tileCount(), client.right, client.bottom);
}

void GridWindow::layout() {
  RECT client;
  if (!GetClientRect(window_, &client)) return;
  for (int index = 0; index < tileCount(); ++index) {
    if (filled_ >= 0 && index != filled_) {
      ShowWindow(tiles_[index], SW_HIDE);
      continue;
    }
    const RECT r = filled_ >= 0 ? client : tileRect(index, tileCount(), client.right, client.bottom);
    MoveWindow(tiles_[index], r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
    ShowWindow(tiles_[index], SW_SHOW);
  }
}

LRESULT CALLBACK GridWindow::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<GridWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (!self) return DefWindowProcA(window, message, wParam, lParam);
  switch (message) {
    case WM_SIZE:
      self->layout();
      return 0;
    case WM_KEYDOWN:
      self->events_.onKey(wParam);
      return 0;
    case WM_TIMER:
      self->events_.onTimer(wParam);
      return 0;
    case WM_CLOSE:
      self->events_.onClose();
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

}  // namespace vkt::viewer
