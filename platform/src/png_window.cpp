// PlatformSaveWindowPng: a window's client-area pixels as an 8-bit RGB PNG,
// for snapshots of what a user would see. Uses libpng's simplified API,
// which reports failure by its result rather than by longjmp.
#include <png.h>

#include <vector>

#include <windows.h>

extern "C" WINAPI_EXPORT BOOL PlatformSaveWindowPng(HWND window, LPCSTR path) {
  RECT client;
  if (!path || !GetClientRect(window, &client) || client.right <= 0 || client.bottom <= 0) return FALSE;
  const size_t count = static_cast<size_t>(client.right) * client.bottom;
  std::vector<DWORD> pixels(count);
  if (!PlatformReadWindowPixels(window, pixels.data(), client.right, client.bottom)) return FALSE;
  std::vector<png_byte> rgb(count * 3);
  for (size_t i = 0; i < count; ++i) {
    rgb[3 * i] = static_cast<png_byte>(pixels[i] >> 16);
    rgb[3 * i + 1] = static_cast<png_byte>(pixels[i] >> 8);
    rgb[3 * i + 2] = static_cast<png_byte>(pixels[i]);
  }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(client.right);
  image.height = static_cast<png_uint_32>(client.bottom);
  image.format = PNG_FORMAT_RGB;
  const int written = png_image_write_to_file(&image, path, 0, rgb.data(), 0, nullptr);
  png_image_free(&image);
  return written ? TRUE : FALSE;
}
