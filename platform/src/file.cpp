// Files: CreateFileA, ReadFile, WriteFile, SetFilePointer, GetFileSize.
// A file handle wraps a POSIX descriptor in the kernel handle table; share
// modes are accepted and not enforced, and overlapped I/O is not supported.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "kernel_handles.h"

namespace platform {
namespace {

struct FileObject : KernelObject {
  explicit FileObject(int descriptor) : fd(descriptor) {}
  ~FileObject() override { close(fd); }
  FileObject(const FileObject&) = delete;
  FileObject& operator=(const FileObject&) = delete;
  const int fd;
};

DWORD ErrorFromErrno(int error) {
  switch (error) {
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
      return ERROR_ACCESS_DENIED;
    case EEXIST:
      return ERROR_FILE_EXISTS;
    case ENOSPC:
    case EFBIG:
      return ERROR_DISK_FULL;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      return ERROR_INVALID_PARAMETER;
  }
}

bool OpenFlags(DWORD access, DWORD creation, int* flags) {
  bool reading = (access & GENERIC_READ) != 0;
  bool writing = (access & GENERIC_WRITE) != 0;
  *flags = O_CLOEXEC | (reading && writing ? O_RDWR : writing ? O_WRONLY : O_RDONLY);
  switch (creation) {
    case CREATE_NEW:
      *flags |= O_CREAT | O_EXCL;
      return true;
    case CREATE_ALWAYS:
      *flags |= O_CREAT | O_TRUNC;
      return true;
    case OPEN_EXISTING:
      return true;
    case OPEN_ALWAYS:
      *flags |= O_CREAT;
      return true;
    case TRUNCATE_EXISTING:
      *flags |= O_TRUNC;
      return writing;  // Windows requires write access to truncate
    default:
      return false;
  }
}

std::shared_ptr<FileObject> FindFile(HANDLE handle) {
  auto file = FindKernelHandleAs<FileObject>(handle);
  if (!file) SetLastError(ERROR_INVALID_HANDLE);
  return file;
}

}  // namespace
}  // namespace platform

using namespace platform;

extern "C" {

WINAPI_EXPORT HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD creation,
                                        DWORD, HANDLE) {
  int flags;
  if (!name || !*name || !OpenFlags(access, creation, &flags)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  // Windows reports that CREATE_ALWAYS or OPEN_ALWAYS met an existing file.
  struct stat info;
  bool existed = (creation == CREATE_ALWAYS || creation == OPEN_ALWAYS) && stat(name, &info) == 0;
  int fd;
  do {
    fd = open(name, flags, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    SetLastError(ErrorFromErrno(errno));
    return INVALID_HANDLE_VALUE;
  }
  if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {  // directories are not files here
    close(fd);
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return AddKernelHandle(std::make_shared<FileObject>(fd));
}

WINAPI_EXPORT BOOL WINAPI ReadFile(HANDLE handle, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped) {
  if (read) *read = 0;
  std::shared_ptr<FileObject> file = FindFile(handle);
  if (!file) return FALSE;
  if (overlapped || (!buffer && toRead)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD done = 0;
  while (done < toRead) {  // a short count means end of file, as on Windows
    ssize_t n = ::read(file->fd, static_cast<char*>(buffer) + done, toRead - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      SetLastError(ErrorFromErrno(errno));
      if (read) *read = done;
      return FALSE;
    }
    if (n == 0) break;
    done += static_cast<DWORD>(n);
  }
  if (read) *read = done;
  return TRUE;
}

WINAPI_EXPORT BOOL WINAPI WriteFile(HANDLE handle, LPCVOID buffer, DWORD toWrite, LPDWORD written,
                                    LPOVERLAPPED overlapped) {
  if (written) *written = 0;
  std::shared_ptr<FileObject> file = FindFile(handle);
  if (!file) return FALSE;
  if (overlapped || (!buffer && toWrite)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD done = 0;
  while (done < toWrite) {
    ssize_t n = ::write(file->fd, static_cast<const char*>(buffer) + done, toWrite - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      SetLastError(n < 0 ? ErrorFromErrno(errno) : ERROR_DISK_FULL);
      if (written) *written = done;
      return FALSE;
    }
    done += static_cast<DWORD>(n);
  }
  if (written) *written = done;
  return TRUE;
}

// With distanceHigh the distance is the signed 64-bit value high:low and
// the new position's high half is written back; without it, the distance is
// the signed 32-bit low part. A position that cannot be returned whole in
// 32 bits without distanceHigh fails, as on Windows.
WINAPI_EXPORT DWORD WINAPI SetFilePointer(HANDLE handle, LONG distance, PLONG distanceHigh, DWORD method) {
  std::shared_ptr<FileObject> file = FindFile(handle);
  if (!file) return INVALID_SET_FILE_POINTER;
  int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : method == FILE_END ? SEEK_END : -1;
  if (whence < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  int64_t offset = distance;
  if (distanceHigh) {
    offset = static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32) |
                                  static_cast<uint32_t>(distance));
  }
  off_t current = lseek(file->fd, 0, SEEK_CUR);
  off_t position = lseek(file->fd, static_cast<off_t>(offset), whence);
  if (position < 0) {
    SetLastError(errno == EINVAL ? ERROR_NEGATIVE_SEEK : ErrorFromErrno(errno));
    return INVALID_SET_FILE_POINTER;
  }
  if (!distanceHigh && position > static_cast<off_t>(0xFFFFFFFEu)) {
    lseek(file->fd, current, SEEK_SET);  // leave the position as it was
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  if (distanceHigh) *distanceHigh = static_cast<LONG>(static_cast<uint64_t>(position) >> 32);
  SetLastError(ERROR_SUCCESS);  // the low half may equal INVALID_SET_FILE_POINTER
  return static_cast<DWORD>(static_cast<uint64_t>(position));
}

WINAPI_EXPORT DWORD WINAPI GetFileSize(HANDLE handle, LPDWORD sizeHigh) {
  std::shared_ptr<FileObject> file = FindFile(handle);
  struct stat info;
  if (!file) return INVALID_FILE_SIZE;
  if (fstat(file->fd, &info) != 0) {
    SetLastError(ErrorFromErrno(errno));
    return INVALID_FILE_SIZE;
  }
  auto size = static_cast<uint64_t>(info.st_size);
  if (sizeHigh) *sizeHigh = static_cast<DWORD>(size >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(size);
}
}
