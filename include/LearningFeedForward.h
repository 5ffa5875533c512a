// Learning feed-forward: averages the controller error over pulses and learns a correction of
// the feed-forward table. Named "." by the application, so its groups lie at the root of the
// tree. Slave (2) and monitoring-only (4) instances take it out of the application. Its
// recursion, filters and variables join this module with their implementation.
#pragma once

#include <Corvane/ApplicationModule.h>

#include <cstdint>

class LearningFeedForward : public Corvane::ApplicationModule {
 public:
  LearningFeedForward(Corvane::Module* owner, const std::string& name, const std::string& description,
      const std::unordered_set<std::string>& tags = {});
  void mainLoop() override {}

  /// Samples per pulse ("Configuration/pulseLength").
  std::uint32_t pulseLength;
};
