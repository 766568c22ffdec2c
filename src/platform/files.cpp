#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

int OpenRegularFile(const char* path, const char** why) {
  const char* reason = nullptr;
  int fd = -1;
  if (path == nullptr) {
    errno = EINVAL;
    reason = "no file name";
  } else {
    // O_NONBLOCK makes opening a pipe with no writer return at once; it is cleared again once the
    // file is known to be a regular one.
    fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) {
      reason = std::strerror(errno);
    } else if (!S_ISREG(st.st_mode)) {
      reason = "not a regular file";
      errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    } else {
      const int flags = fcntl(fd, F_GETFL);
      if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) reason = std::strerror(errno);
    }
    if (reason != nullptr && fd >= 0) {
      const int error = errno;
      close(fd);
      errno = error;
      fd = -1;
    }
  }
  if (why != nullptr) *why = reason;
  return fd;
}

std::FILE* OpenRegularFileStream(const char* path, const char** why) {
  const int fd = OpenRegularFile(path, why);
  if (fd < 0) return nullptr;
  std::FILE* file = fdopen(fd, "rb");
  if (file == nullptr) {
    if (why != nullptr) *why = std::strerror(errno);
    close(fd);
  }
  return file;
}
