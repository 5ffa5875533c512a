#include "Corvane/FileDescriptor.h"

#include <unistd.h>

namespace Corvane {

  void FileDescriptor::reset() noexcept {
    if(_fd >= 0) ::close(_fd);
    _fd = -1;
  }

} // namespace Corvane
