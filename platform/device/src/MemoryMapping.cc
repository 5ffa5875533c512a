#include "Corvane/MemoryMapping.h"

#include "Corvane/Exception.h"

#include <cerrno>
#include <cstring>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

namespace Corvane {

  MemoryMapping::MemoryMapping(int fd, std::uint64_t offset, std::size_t length, const std::string& what) {
    if(length == 0) throw Corvane::logic_error("cannot map 0 bytes of " + what);
    auto pageSize = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
    auto alignedOffset = offset - offset % pageSize;
    auto lead = static_cast<std::size_t>(offset - alignedOffset);
    void* base = ::mmap(nullptr, length + lead, PROT_READ | PROT_WRITE, MAP_SHARED, fd, static_cast<off_t>(alignedOffset));
    if(base == MAP_FAILED) {
      throw Corvane::runtime_error("cannot map " + std::to_string(length) + " bytes at offset " + std::to_string(offset) +
          " of " + what + ": " + std::strerror(errno));
    }
    _base = base;
    _mappedLength = length + lead;
    _data = static_cast<std::byte*>(base) + lead;
    _length = length;
  }

  void MemoryMapping::reset() noexcept {
    if(_base != nullptr) ::munmap(_base, _mappedLength);
    _base = nullptr;
    _mappedLength = 0;
    _data = nullptr;
    _length = 0;
  }

} // namespace Corvane
