// A board whose firmware takes over the lock register: after a write of "state", the n-th read of
// "actualState" returns the written value (n = 1: at the first poll; never when n = 0). Registered as the
// device type "lockfollow" (parameter "map", like the plain dummy).
#pragma once

#include <Corvane/DummyBackend.h>
#include <Corvane/RegisterInfo.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace mutextest {

  class FollowingLockBackend : public Corvane::DummyBackend {
   public:
    /// The map holds one register pair ".../state" and ".../actualState".
    explicit FollowingLockBackend(const std::string& mapFileName);

    static std::shared_ptr<Corvane::DeviceBackend> createInstance(
        const std::string& address, const std::map<std::string, std::string>& parameters);

    void read(std::uint8_t bar, std::uint64_t address, std::int32_t* data, std::size_t nBytes) override;

    /// Applies to writes of "state" from now on.
    void setFollowAfterReads(unsigned reads);
    /// Client reads of "actualState" since construction.
    std::size_t readBackCount() const;

   protected:
    void regWriteEvents(std::uint8_t bar, std::uint64_t address, std::size_t nBytes) override;

   private:
    static bool touches(const Corvane::RegisterInfo& info, std::uint8_t bar, std::uint64_t address, std::size_t nBytes);

    const Corvane::RegisterInfo* _state{nullptr};
    const Corvane::RegisterInfo* _actualState{nullptr};
    unsigned _followAfterReads{1};
    std::optional<std::int32_t> _pending;
    unsigned _readsLeft{0};
    std::size_t _readBacks{0};
  };

} // namespace mutextest
