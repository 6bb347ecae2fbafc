// The guard every exported decoder operation runs its body under. The
// decoder checks every input read and table index itself, so the guard
// only has C++ exceptions to turn into statuses: a failed allocation
// becomes JPEG_ERR_MEMORY, anything else JPEG_ERR_EXCEPTION. No signal
// handler is installed.
#pragma once
#include <new>

#include "vktjpeg.h"

template <typename Body>
JpegStatus run_guarded(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return JPEG_ERR_MEMORY;
  } catch (...) {
    return JPEG_ERR_EXCEPTION;
  }
}
