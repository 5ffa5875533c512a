// A dummy ADC board that remembers, for every client write of a channel's filter coefficients, whether the
// board's firmware table lock was taken (its "state" register false) at that moment. The firmware's read-back
// "actualState" shares the address of "state", so every lock change is confirmed at the first poll.
// Registered as the device type "adcwatch" (parameter "map", like the plain dummy).
#pragma once

#include <Corvane/DummyBackend.h>
#include <Corvane/RegisterInfo.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace adctest {

  class LockWatchingBackend : public Corvane::DummyBackend {
   public:
    explicit LockWatchingBackend(const std::string& mapFileName);

    static std::shared_ptr<Corvane::DeviceBackend> createInstance(
        const std::string& address, const std::map<std::string, std::string>& parameters);

    struct CoefficientWrite {
      std::string registerPath;
      bool locked; ///< "state" was false (taken by software) during the write
    };
    std::vector<CoefficientWrite> coefficientWrites() const;

   protected:
    void regWriteEvents(std::uint8_t bar, std::uint64_t address, std::size_t nBytes) override;

   private:
    const Corvane::RegisterInfo* _state{nullptr};
    std::vector<const Corvane::RegisterInfo*> _coefficients;
    std::vector<CoefficientWrite> _writes;
  };

} // namespace adctest
