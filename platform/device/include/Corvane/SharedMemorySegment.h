// A named POSIX shared-memory segment that several processes attach to, with a
// process-shared mutex and a count of attached users in its header.
//
// The first user creates the segment (payload zero-filled); every later user, in this or
// another process, attaches to the same memory. Detaching (destruction) decrements the
// count and the last user removes the name, so nothing is left behind when all users end
// normally. A user that crashed leaves its count behind: remove() deletes the name at
// explicit request (processes still attached keep their memory until they detach).
#pragma once

#include "Corvane/FileDescriptor.h"
#include "Corvane/MemoryMapping.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace Corvane {

  class SharedMemorySegment {
   public:
    /// Attaches to (or creates) the segment `name` ("/..." as for shm_open) holding `payloadSize`
    /// bytes. Corvane::runtime_error when it cannot, or when the existing segment's size differs.
    SharedMemorySegment(std::string name, std::size_t payloadSize);
    ~SharedMemorySegment();

    SharedMemorySegment(const SharedMemorySegment&) = delete;
    SharedMemorySegment& operator=(const SharedMemorySegment&) = delete;

    std::byte* payload() const { return _payload; }
    std::size_t payloadSize() const { return _payloadSize; }
    const std::string& name() const { return _name; }

    /// The process-shared mutex (BasicLockable); survives a holder that crashed.
    void lock();
    void unlock();

    /// Number of users attached in all processes.
    std::uint32_t userCount();

    /// True when a segment of this name exists.
    static bool exists(const std::string& name);

    /// Removes the name of a segment (no-op when there is none).
    static void remove(const std::string& name);

   private:
    struct Header;

    /// One attempt to attach; false when the segment vanished meanwhile and the caller should retry.
    bool tryAttach();
    void createAndInitialise();
    bool attachExisting();
    Header& header() const;
    bool nameStillRefersToUs() const;

    std::string _name;
    std::size_t _payloadSize;
    std::size_t _totalSize{};
    FileDescriptor _fd;
    MemoryMapping _mapping;
    std::byte* _payload{nullptr};
  };

} // namespace Corvane
