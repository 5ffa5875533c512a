// One ADC board of the station. The root (a group named ".", so it adds no level) holds the
// device module of the board's "/ToControlSystem" registers, which appear at the application's
// top level, and the board group "AdcBoard<N>" with everything else of the board: the device
// modules of its "/Adc", "/NormalDataMode" and "/RawDataMode" registers, the initialisation
// script (run at every opening and recovery of the device "Adc<N>"), the board services, the
// monitors of the FPGA clock and of the attenuator, the input channels, the partial vector sum
// of 10-channel boards and the firmware table mutex of the channels' filter coefficients.
//
// Neither group has a thread: all work is done by the modules they hold.
#pragma once

#include "AdcChannel.h"
#include "BoardForceReinit.h"
#include "ControllerChannel.h"
#include "DaqTriggerMux.h"
#include "FirmwareSEUDetection.h"
#include "MultiClientFirmwareMutex.h"

#include <Corvane/DeviceModule.h>
#include <Corvane/ExactMonitor.h>
#include <Corvane/ModuleGroup.h>
#include <Corvane/ScriptedInitHandler.h>

#include <cstdint>
#include <string>
#include <vector>

class AdcBoardRoot : public Corvane::ModuleGroup {
 public:
  /// `name` is the board group's name, "AdcBoard" followed by the board number; everything after
  /// its first 8 characters is taken as the number (std::out_of_range for a shorter name).
  AdcBoardRoot(Corvane::ModuleGroup* owner, std::string name, const std::string& description);
  AdcBoardRoot(AdcBoardRoot&&) noexcept = default;
  AdcBoardRoot& operator=(AdcBoardRoot&&) noexcept = default;
  ~AdcBoardRoot() override = default;

  class AdcBoard : public Corvane::ModuleGroup {
   public:
    /// Reads "Configuration/nSinCosTableSize", "Configuration/phaseStep", "Configuration/sinSign"
    /// and "Configuration/<name>/nChannels"; Corvane::logic_error when one is missing or of
    /// another type, when a count exceeds its limit (ConfigurationLimits), when the board's
    /// register map lacks a register of a configured channel (or, on a 10-channel board, of the
    /// partial vector sum) or holds it with another size than "Configuration/nSinCosTableSize" or
    /// "Configuration/pulseLength" (the message names the key, the configuration file and the
    /// register), and when the board has no channel.
    AdcBoard(Corvane::ModuleGroup* owner, const std::string& name, const std::string& description);
    AdcBoard(AdcBoard&&) noexcept = default;
    AdcBoard& operator=(AdcBoard&&) noexcept = default;
    ~AdcBoard() override = default;

    std::string boardNumber;
    std::string boardName;
    std::string deviceAlias;
    Corvane::DeviceModule device;
    Corvane::DeviceModule normalDataModeDevice;
    Corvane::DeviceModule rawDataModeDevice;
    Corvane::ScriptedInitHandler initHandler;
    BoardForceReinit forceReinit;
    std::vector<AdcChannel> channels;
    /// The firmware's partial vector sum, a controller DAQ channel "PartialVectorSum" that only a board of
    /// exactly 10 channels has (built by move assignment); an empty placeholder on every other board.
    ControllerChannel partialVectorSum;
    DaqTriggerMux daqTriggerMux;
    FirmwareSEUDetection seuDetection;
    Corvane::ExactMonitor<Corvane::Boolean> fpgaClockMonitor;
    Corvane::ExactMonitor<std::uint32_t> attenuatorMonitor;
    // built last, by move assignment: the mutex finds its clients (the channels' filter
    // modules) when it is constructed
    MultiClientFirmwareMutex filterCoefficientsValid;
  };

  std::string boardName;
  Corvane::DeviceModule device;
  AdcBoard adcBoard;
};
