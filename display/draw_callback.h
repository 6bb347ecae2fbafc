// The function a renderer calls to draw over a picture before it is shown:
// the picture surface's device context, the picture size {width, height},
// and the user value given with the callback.
#pragma once
#include <windows.h>

#include <cstdint>

typedef void(CALLBACK* DrawCallback)(HDC dc, uint32_t* pictureSize, void* context);
