#include "Corvane/SharedMemorySegment.h"

#include "Corvane/Exception.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Corvane {

  struct SharedMemorySegment::Header {
    std::uint32_t magic;          // written last by the creator: the header is ready
    std::uint32_t layoutVersion;
    std::uint64_t payloadSize;
    std::uint32_t users;          // under mutex
    std::uint32_t removed;        // under mutex: the name is gone, attach to a new segment
    pthread_mutex_t mutex;
  };

  namespace {
    constexpr std::uint32_t magicValue = 0x43564453; // "CVDS"
    constexpr std::uint32_t layoutVersion = 1;
    constexpr std::size_t payloadOffset = 128; // header, padded to a cache line multiple
    constexpr auto setupTimeout = std::chrono::seconds(2);

    std::string systemError(const std::string& what) { return what + ": " + std::strerror(errno); }
  } // namespace

  SharedMemorySegment::SharedMemorySegment(std::string name, std::size_t payloadSize)
  : _name(std::move(name)), _payloadSize(payloadSize) {
    static_assert(sizeof(Header) <= payloadOffset);
    _totalSize = payloadOffset + payloadSize;
    // the segment can vanish between opening it and locking it (its last user left); retry then
    for(int attempt = 0; attempt < 100; ++attempt) {
      if(tryAttach()) {
        _payload = _mapping.data() + payloadOffset;
        return;
      }
    }
    throw Corvane::runtime_error("shared memory " + _name + " keeps vanishing while attaching");
  }

  SharedMemorySegment::~SharedMemorySegment() {
    try {
      lock();
      auto& h = header();
      if(--h.users == 0) {
        h.removed = 1;
        if(nameStillRefersToUs()) ::shm_unlink(_name.c_str());
      }
      unlock();
    }
    catch(...) {
      // a mutex that cannot be recovered leaves the segment to remove()
    }
  }

  bool SharedMemorySegment::nameStillRefersToUs() const {
    // after an explicit remove() the name may belong to a newer segment, which must stay
    FileDescriptor current(::shm_open(_name.c_str(), O_RDONLY, 0));
    struct stat ours {}, theirs {};
    if(!current || ::fstat(_fd.get(), &ours) != 0 || ::fstat(current.get(), &theirs) != 0) return false;
    return ours.st_dev == theirs.st_dev && ours.st_ino == theirs.st_ino;
  }

  bool SharedMemorySegment::tryAttach() {
    int fd = ::shm_open(_name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    if(fd >= 0) {
      _fd = FileDescriptor(fd);
      createAndInitialise();
      return true;
    }
    if(errno != EEXIST) throw Corvane::runtime_error(systemError("cannot create shared memory " + _name));
    fd = ::shm_open(_name.c_str(), O_RDWR, 0600);
    if(fd < 0) {
      if(errno == ENOENT) return false;
      throw Corvane::runtime_error(systemError("cannot open shared memory " + _name));
    }
    _fd = FileDescriptor(fd);
    return attachExisting();
  }

  void SharedMemorySegment::createAndInitialise() {
    try {
      if(::ftruncate(_fd.get(), static_cast<off_t>(_totalSize)) != 0) {
        throw Corvane::runtime_error(systemError("cannot size shared memory " + _name));
      }
      _mapping = MemoryMapping(_fd.get(), 0, _totalSize, "shared memory " + _name);
      auto& h = header();
      h.layoutVersion = layoutVersion;
      h.payloadSize = _payloadSize;
      h.users = 1;
      h.removed = 0;
      pthread_mutexattr_t attributes;
      pthread_mutexattr_init(&attributes);
      pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED);
      pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
      int result = pthread_mutex_init(&h.mutex, &attributes);
      pthread_mutexattr_destroy(&attributes);
      if(result != 0) throw Corvane::runtime_error("cannot initialise the mutex of shared memory " + _name);
      std::atomic_ref<std::uint32_t>(h.magic).store(magicValue, std::memory_order_release);
    }
    catch(...) {
      ::shm_unlink(_name.c_str());
      throw;
    }
  }

  bool SharedMemorySegment::attachExisting() {
    // the creator may still be sizing and initialising the segment
    auto deadline = std::chrono::steady_clock::now() + setupTimeout;
    struct stat status {};
    while(true) {
      if(::fstat(_fd.get(), &status) != 0) throw Corvane::runtime_error(systemError("cannot inspect shared memory " + _name));
      if(static_cast<std::size_t>(status.st_size) >= payloadOffset) break;
      if(std::chrono::steady_clock::now() > deadline) {
        throw Corvane::runtime_error("shared memory " + _name + " was never set up by its creator; remove it");
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if(static_cast<std::size_t>(status.st_size) != _totalSize) {
      throw Corvane::runtime_error("shared memory " + _name + " has " + std::to_string(status.st_size) +
          " bytes, this device needs " + std::to_string(_totalSize) + " (another register map?)");
    }
    _mapping = MemoryMapping(_fd.get(), 0, _totalSize, "shared memory " + _name);
    auto& h = header();
    while(std::atomic_ref<std::uint32_t>(h.magic).load(std::memory_order_acquire) != magicValue) {
      if(std::chrono::steady_clock::now() > deadline) {
        throw Corvane::runtime_error("shared memory " + _name + " was never set up by its creator; remove it");
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if(h.layoutVersion != layoutVersion || h.payloadSize != _payloadSize) {
      throw Corvane::runtime_error("shared memory " + _name + " has an incompatible layout");
    }
    lock();
    bool vanished = h.removed != 0;
    if(!vanished) ++h.users;
    unlock();
    if(vanished) {
      _mapping.reset();
      _fd.reset();
    }
    return !vanished;
  }

  SharedMemorySegment::Header& SharedMemorySegment::header() const {
    return *reinterpret_cast<Header*>(_mapping.data());
  }

  void SharedMemorySegment::lock() {
    int result = pthread_mutex_lock(&header().mutex);
    if(result == EOWNERDEAD) {
      // a process died holding it; the words may be half written, the bookkeeping is intact
      pthread_mutex_consistent(&header().mutex);
      return;
    }
    if(result != 0) throw Corvane::runtime_error("cannot lock shared memory " + _name + ": " + std::strerror(result));
  }

  void SharedMemorySegment::unlock() { pthread_mutex_unlock(&header().mutex); }

  std::uint32_t SharedMemorySegment::userCount() {
    lock();
    auto users = header().users;
    unlock();
    return users;
  }

  bool SharedMemorySegment::exists(const std::string& name) {
    FileDescriptor fd(::shm_open(name.c_str(), O_RDONLY, 0));
    return fd.isValid();
  }

  void SharedMemorySegment::remove(const std::string& name) { ::shm_unlink(name.c_str()); }

} // namespace Corvane
