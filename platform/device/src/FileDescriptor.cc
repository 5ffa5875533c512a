#include "Corvane/FileDescriptor.h"

#include <fcntl.h>
#include <unistd.h>

namespace Corvane {

  void FileDescriptor::reset() noexcept {
    if(_fd >= 0) ::close(_fd);
    _fd = -1;
  }

  void markCloseOnExec(int fd) noexcept {
    if(fd < 0) return;
    int flags = ::fcntl(fd, F_GETFD);
    if(flags >= 0 && (flags & FD_CLOEXEC) == 0) ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
  }

} // namespace Corvane
