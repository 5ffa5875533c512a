// Output vector correction: compensates slow drifts of the drive path by correcting the
// controller's output calibration every few pulses. Slave (2) and monitoring-only (4) instances
// take it out of the application. Its algorithms and variables join this module with their
// implementation.
#pragma once

#include <Corvane/ApplicationModule.h>

#include <cstdint>

namespace OutputVectorCorrection {

  class OVCMain : public Corvane::ApplicationModule {
   public:
    OVCMain(Corvane::Module* owner, const std::string& name, const std::string& description,
        const std::unordered_set<std::string>& tags = {});
    void mainLoop() override {}

    /// Samples per pulse ("Configuration/pulseLength").
    std::uint32_t pulseLength;
  };

} // namespace OutputVectorCorrection
