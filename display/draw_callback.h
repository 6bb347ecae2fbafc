// The function a renderer calls to draw over a picture before it is shown:
// the picture surface's device context, the picture size {width, height},
// and the user value given with the callback.
#pragma once
#include <windows.h>

#include <cstdint>

typedef void(CALLBACK* DrawCallback)(HDC dc, uint32_t* pictureSize, void* context);

// The application's value for "draw nothing over the picture", distinct
// from null (which keeps the built-in drawing); never called.
constexpr uintptr_t kDrawNothingValue = 1;
inline bool DrawsNothing(DrawCallback callback) { return reinterpret_cast<uintptr_t>(callback) == kDrawNothingValue; }
