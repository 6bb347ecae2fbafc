// Device contexts and GDI objects: creation, selection and deletion.
#include "gdi_dc.h"

#include <algorithm>
#include <cstdlib>
#include <unordered_set>

namespace platform {
namespace {

GdiObject whiteBrush{GdiKind::Brush, RGB(255, 255, 255), true};
GdiObject blackPen{GdiKind::Pen, RGB(0, 0, 0), true};
GdiObject systemFont{GdiKind::Font, 0, true};

struct Registry {
  std::mutex mutex;
  std::unordered_set<DeviceContext*> contexts;
  std::unordered_set<GdiObject*> objects;
};

// Never destroyed: surfaces released during process exit still delete their contexts.
Registry& TheRegistry() {
  static Registry* registry = new Registry;
  return *registry;
}

GdiObject* FindObjectLocked(HGDIOBJ handle) {
  auto* object = static_cast<GdiObject*>(handle);
  if (object == &whiteBrush || object == &blackPen || object == &systemFont) return object;
  return TheRegistry().objects.count(object) ? object : nullptr;
}

bool IsSelectedLocked(const GdiObject* object) {
  for (const DeviceContext* dc : TheRegistry().contexts) {
    if (dc->brush == object || dc->pen == object || dc->font == object) return true;
  }
  return false;
}

}  // namespace

std::mutex& GdiMutex() { return TheRegistry().mutex; }

DeviceContext* FindDcLocked(HDC dc) {
  auto* context = reinterpret_cast<DeviceContext*>(dc);
  return TheRegistry().contexts.count(context) ? context : nullptr;
}

HDC CreateSurfaceDc(const SurfaceBits& bits) {
  auto* context =
      new DeviceContext{bits, &whiteBrush, &blackPen, &systemFont, OPAQUE, RGB(0, 0, 0), RGB(255, 255, 255)};
  std::lock_guard lock(GdiMutex());
  TheRegistry().contexts.insert(context);
  return reinterpret_cast<HDC>(context);
}

void DeleteSurfaceDc(HDC dc) {
  std::lock_guard lock(GdiMutex());
  DeviceContext* context = FindDcLocked(dc);
  if (!context) return;
  TheRegistry().contexts.erase(context);
  delete context;
}

}  // namespace platform

using namespace platform;

extern "C" {

WINAPI_EXPORT int WINAPI SetBkMode(HDC dc, int mode) {
  if (mode != TRANSPARENT && mode != OPAQUE) return 0;
  std::lock_guard lock(GdiMutex());
  DeviceContext* context = FindDcLocked(dc);
  if (!context) return 0;
  const int previous = context->backgroundMode;
  context->backgroundMode = mode;
  return previous;
}

WINAPI_EXPORT HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
  auto* brush = new GdiObject{GdiKind::Brush, color & 0x00FFFFFF, false};
  std::lock_guard lock(GdiMutex());
  TheRegistry().objects.insert(brush);
  return reinterpret_cast<HBRUSH>(brush);
}

WINAPI_EXPORT HFONT WINAPI CreateFontA(int height, int width, int, int, int weight, DWORD, DWORD, DWORD, DWORD,
                                       DWORD, DWORD, DWORD, DWORD, LPCSTR) {
  // Cells beyond this would only ever be clipped; the bound keeps the
  // drawing's arithmetic small.
  constexpr int kLargestCell = 4096;
  const int cellHeight = height == 0 ? kFontCellHeight : std::min(std::abs(height), kLargestCell);
  const int cellWidth = width == 0 ? std::max(1, cellHeight / 2) : std::min(std::abs(width), kLargestCell);
  auto* font = new GdiObject{GdiKind::Font, 0, false, cellWidth, cellHeight, weight >= FW_BOLD};
  std::lock_guard lock(GdiMutex());
  TheRegistry().objects.insert(font);
  return reinterpret_cast<HFONT>(font);
}

WINAPI_EXPORT HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ handle) {
  std::lock_guard lock(GdiMutex());
  DeviceContext* context = FindDcLocked(dc);
  GdiObject* object = FindObjectLocked(handle);
  if (!context || !object) return nullptr;
  GdiObject** slot = object->kind == GdiKind::Brush ? &context->brush
                     : object->kind == GdiKind::Pen ? &context->pen
                                                    : &context->font;
  GdiObject* previous = *slot;
  *slot = object;
  return previous;
}

WINAPI_EXPORT DWORD WINAPI GetGuiResources(HANDLE process, DWORD flags) {
  if (process != GetCurrentProcess() || flags != GR_GDIOBJECTS) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::lock_guard lock(GdiMutex());
  return static_cast<DWORD>(TheRegistry().objects.size() + TheRegistry().contexts.size());
}

WINAPI_EXPORT BOOL WINAPI DeleteObject(HGDIOBJ handle) {
  std::lock_guard lock(GdiMutex());
  GdiObject* object = FindObjectLocked(handle);
  if (!object) return FALSE;
  if (object->stock) return TRUE;
  if (IsSelectedLocked(object)) return FALSE;
  TheRegistry().objects.erase(object);
  delete object;
  return TRUE;
}
}
