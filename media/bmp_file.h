// Snapshots as files: a 24-bit BMP of a decoded BGR picture (rows stored
// bottom first and padded to four bytes, as the format wants), and a file
// of bytes as given (a kind-7100 picture as the device sent it). Both
// write to a temporary name beside the target and rename it, so a failed
// write never leaves half a picture under the asked-for name.
#pragma once
#include <cstddef>
#include <cstdint>

// False when the picture is empty or the file cannot be written.
bool WriteBmpFile(const char* path, const uint8_t* bgr, uint32_t width, uint32_t height, size_t stride);
bool WriteBytesFile(const char* path, const uint8_t* bytes, size_t length);
