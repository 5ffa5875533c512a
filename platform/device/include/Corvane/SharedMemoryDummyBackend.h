// A dummy device whose register space lies in POSIX shared memory, so that another process
// (a board simulator, a test) sees and changes the same registers.
//
// Descriptor: (sharedMemoryDummy:INSTANCE?map=FILE). Every backend of the same instance name
// and map file, in any process of the same user, shares one segment named
//
//   /corvane-<uid>-<instance>-<hash of the absolute map path>
//
// (characters of the instance outside [A-Za-z0-9_-] become "_"). The segment is attached at
// construction and stays until destruction, so values survive close() and open(); the last
// backend to go removes it, and removeSegment() removes it at explicit request (after a crash).
// Client transfers lock the segment's process-shared mutex, so a multi-word register is never
// seen half written by another process's client transfer; an in-place read holds it while
// the client uses the view.
#pragma once

#include "Corvane/DummyBackend.h"
#include "Corvane/SharedMemorySegment.h"

#include <memory>
#include <string>

namespace Corvane {

  class SharedMemoryDummyBackend : public DummyBackend {
   public:
    SharedMemoryDummyBackend(const std::string& instance, const std::string& mapFileName);

    static std::shared_ptr<DeviceBackend> createInstance(
        const std::string& address, const std::map<std::string, std::string>& parameters);

    /// Name of the segment of an instance and map file (the path is made absolute first).
    static std::string segmentName(const std::string& instance, const std::string& mapFileName);

    /// Removes the segment of an instance and map file, whoever is attached.
    static void removeSegment(const std::string& instance, const std::string& mapFileName);

    std::string readDeviceInfo() override;

    const std::string& getSegmentName() const { return _segment->name(); }

    /// Backends attached to the segment in all processes.
    std::uint32_t getUserCount() { return _segment->userCount(); }

   protected:
    void lockStorage() override { _segment->lock(); }
    void unlockStorage() override { _segment->unlock(); }
    bool readsInPlace() const override;

   private:
    std::unique_ptr<SharedMemorySegment> _segment;
  };

} // namespace Corvane
