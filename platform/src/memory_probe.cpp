// IsBadReadPtr: asks the kernel to copy one byte of every page in the range
// into a pipe. write() fails with EFAULT instead of faulting when a page is
// unmapped or not readable, so probing never crashes the caller. The calls
// go through syscall() so that a sanitizer's write() interceptor does not
// treat the probe of memory it has poisoned (freed blocks, redzones) as a
// read by the program.
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

#include <windows.h>

namespace {

class ProbePipe {
 public:
  ProbePipe() {
    if (pipe2(fds_, O_CLOEXEC | O_NONBLOCK) != 0) fds_[0] = fds_[1] = -1;
  }
  ~ProbePipe() {
    if (fds_[0] >= 0) {
      close(fds_[0]);
      close(fds_[1]);
    }
  }
  ProbePipe(const ProbePipe&) = delete;
  ProbePipe& operator=(const ProbePipe&) = delete;

  // True if the byte at `address` can be read; false if it cannot or the
  // probe is unavailable (then the range is reported unreadable).
  bool CanRead(const void* address) {
    if (fds_[0] < 0) return false;
    ssize_t written;
    do {
      written = syscall(SYS_write, fds_[1], address, 1);
    } while (written < 0 && errno == EINTR);
    if (written != 1) return false;
    char drained;
    return read(fds_[0], &drained, 1) == 1;
  }

 private:
  int fds_[2];
};

}  // namespace

extern "C" WINAPI_EXPORT BOOL WINAPI IsBadReadPtr(const void* p, UINT_PTR size) {
  if (!p) return TRUE;
  if (size == 0) return FALSE;
  auto begin = reinterpret_cast<uintptr_t>(p);
  uintptr_t last = begin + size - 1;
  if (last < begin) return TRUE;  // the range wraps around the address space
  thread_local ProbePipe probe;
  const uintptr_t pageSize = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  for (uintptr_t address = begin; address <= last;) {
    if (!probe.CanRead(reinterpret_cast<const void*>(address))) return TRUE;
    uintptr_t nextPage = (address | (pageSize - 1)) + 1;
    if (nextPage == 0) break;  // the last page of the address space
    address = nextPage;
  }
  return FALSE;
}
