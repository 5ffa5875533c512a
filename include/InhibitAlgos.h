// The controller status filtered for the slow algorithms (output vector correction, learning feed-forward):
// "inhibitAlgos" is 1 while the firmware's status word has a bit set that "bitmaskForInhibitAlgos" does not
// mask, else 0. Evaluated once per status word; a change of the mask alone takes effect with the next word.
#pragma once

#include <Corvane/ApplicationModule.h>
#include <Corvane/ScalarAccessor.h>

#include <cstdint>

class InhibitAlgos : public Corvane::ApplicationModule {
 public:
  using Corvane::ApplicationModule::ApplicationModule;
  InhibitAlgos() = default;
  InhibitAlgos(InhibitAlgos&&) noexcept = default;
  InhibitAlgos& operator=(InhibitAlgos&&) noexcept = default;
  ~InhibitAlgos() override = default;

  void mainLoop() override;

  Corvane::ScalarPushInput<std::uint32_t> controllerStatus{
      this, "controllerStatus", "", "Status of the firmware application (active limiters etc.)", {}};
  Corvane::ScalarOutput<std::int32_t> inhibitAlgos{
      this, "inhibitAlgos", "", "0 = run algorithms, 1 = do not run algorithms", {}};
  Corvane::ScalarPollInput<std::uint32_t> bitmaskForInhibitAlgos{
      this, "bitmaskForInhibitAlgos", "", "Bits to ignore", {}};
};
