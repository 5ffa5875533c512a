// The feedback controller's output limit: the operator's "maximumOutput" goes unchanged to the board's limits
// in I and Q.
#pragma once

#include <Corvane/ApplicationModule.h>
#include <Corvane/ScalarAccessor.h>

#include <cstdint>

class MaximumOutput : public Corvane::ApplicationModule {
 public:
  using Corvane::ApplicationModule::ApplicationModule;
  MaximumOutput() = default;
  MaximumOutput(MaximumOutput&&) noexcept = default;
  MaximumOutput& operator=(MaximumOutput&&) noexcept = default;
  ~MaximumOutput() override = default;

  void mainLoop() override;

  Corvane::ScalarPushInput<std::int32_t> maximumOutput{
      this, "maximumOutput", "digits", "Maxmimum controller output in I and Q", {"DAQ"}};
  Corvane::ScalarOutput<std::int32_t> limitI{this, "limitI", "digits", "Maxmimum controller output in I", {}};
  Corvane::ScalarOutput<std::int32_t> limitQ{this, "limitQ", "digits", "Maxmimum controller output in Q", {}};
};
