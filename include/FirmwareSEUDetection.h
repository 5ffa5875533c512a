// Firmware SEU detection of one board: the FPGA checks its configuration memory for single event
// upsets. This module confirms the firmware's unrecoverable-error flag over two consecutive
// readings before it reports it, and accumulates the CRC-error and ECC-repair counters, which
// start again from zero at every FPGA boot, into 64-bit totals that keep counting across boots.
// The totals are write-back inputs: their starting values come from the control system (which
// persists them), and the module writes its totals back on every pass.
#pragma once

#include <Corvane/ApplicationModule.h>
#include <Corvane/ScalarAccessor.h>
#include <Corvane/VariableGroup.h>

#include <cstdint>
#include <string>
#include <unordered_set>

class FirmwareSEUDetection : public Corvane::ApplicationModule {
 public:
  using Corvane::ApplicationModule::ApplicationModule;
  FirmwareSEUDetection(FirmwareSEUDetection&&) noexcept = default;
  FirmwareSEUDetection& operator=(FirmwareSEUDetection&&) noexcept = default;
  ~FirmwareSEUDetection() override = default;

  void mainLoop() override;

  /// The firmware's SEU registers, read on every macro-pulse trigger.
  class FirmwareInterface : public Corvane::VariableGroup {
   public:
    using Corvane::VariableGroup::VariableGroup;
    FirmwareInterface(FirmwareInterface&&) noexcept = default;
    FirmwareInterface& operator=(FirmwareInterface&&) noexcept = default;
    ~FirmwareInterface() override = default;

    Corvane::ScalarPushInput<std::uint32_t> unrecoverableErrorDetectedRaw{this, "unrecoverableErrorDetectedRaw", "",
        "not recoverable error detection, CRC check; 0 - no errors, 1 - not recoverable error if kept (if catches 1 "
        "repeat the read to confirm)"};
    Corvane::ScalarPushInput<std::uint32_t> crcErrorSinceFpgaBoot{this, "crcErrorSinceFpgaBoot", "",
        "counts up CRC errors starting from FPGA boot, in general counts up SEU events"};
    Corvane::ScalarPushInput<std::uint32_t> eccFixedFramesSinceFpgaBoot{
        this, "eccFixedFramesSinceFpgaBoot", "", "counts up ECC fixed frames, value = 2x single bit errors"};
  };

 private:
  /// Takes the control system's writes to the totals out of their queues without adopting them:
  /// the totals are the module's own once it runs.
  void discardTotalsWrittenFromOutside();

  FirmwareInterface firmware{this, ".", ""};

  Corvane::ScalarOutput<std::uint32_t> unrecoverableErrorDetected{this, "unrecoverableErrorDetected", "",
      "not recoverable error detection, CRC check; 0 - no errors, 1 - not recoverable error if kept (if catches 1 "
      "repeat the read to confirm)"};
  Corvane::ScalarPushInputWB<std::uint64_t> crcErrors{
      this, "crcErrors", "", "counts up CRC errors starting from FPGA boot, in general counts up SEU events"};
  Corvane::ScalarPushInputWB<std::uint64_t> eccFixedFramesTotal{
      this, "eccFixedFramesTotal", "", "counts up ECC fixed frames, value = 2x single bit errors"};
};
