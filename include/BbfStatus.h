// The state of the beam-based feedback's limiter, as the status "bbfLimiterStatus": OFF while the feedback is
// switched off, WARNING while a consistent pair of its amplitude and phase limiter flags (one byte per beam
// region, both of one version) shows a limit active, OK otherwise. The limiter is reset once at every start
// and once for every pair that shows it active.
//
// The beam-based feedback's variables lie outside the controller tree, at "/BeamBasedFeedback".
#pragma once

#include <Corvane/ApplicationModule.h>
#include <Corvane/ArrayAccessor.h>
#include <Corvane/ScalarAccessor.h>
#include <Corvane/StatusWithMessage.h>

#include <cstdint>

class BbfStatus : public Corvane::ApplicationModule {
 public:
  BbfStatus() = default;
  /// Reads "Configuration/nMaxBeamRegions" (ConfigurationLimits::beamRegions: 1 when absent).
  BbfStatus(Corvane::Module* owner, const std::string& name, const std::string& description,
      const std::unordered_set<std::string>& tags = {});
  BbfStatus(BbfStatus&&) noexcept = default;
  BbfStatus& operator=(BbfStatus&&) noexcept = default;
  ~BbfStatus() override = default;

  void mainLoop() override;

  std::uint32_t nMaxBeamRegions{1};
  Corvane::ScalarPushInput<std::uint32_t> ena;
  Corvane::ArrayPushInput<std::uint8_t> amplitudeLimitActive;
  Corvane::ArrayPushInput<std::uint8_t> phaseLimitActive;
  Corvane::VoidOutput limitReset;
  Corvane::StatusWithMessage bbfLimiterStatus;

 private:
  /// WARNING (after a reset of the limiter) when a byte of either array is set, else OK.
  void evaluateLimits();
};
