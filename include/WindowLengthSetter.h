// The station's sampling scheme: from the operator's decimation factor and the fixed clock
// configuration it publishes the IQ sampling frequency that every signal-processing module uses,
// its inverse, the time length of the DAQ and control-table window and the firmware's two timing
// dividers. It ends start-up on clock settings out of range and guards the decimation: never 0,
// never so large that decimation x IQ detection length leaves 32 bits, and not changed while RF
// is on in pulsed operation (rejected values are written back to their sender).
#pragma once

#include "ConfigurationKeys.h"
#include "InstanceType.h"

#include <Corvane/ApplicationModule.h>
#include <Corvane/ConfigReader.h>
#include <Corvane/ScalarAccessor.h>

#include <cstdint>
#include <string>
#include <vector>

class WindowLengthSetter : public Corvane::ApplicationModule {
 public:
  using Corvane::ApplicationModule::ApplicationModule;
  ~WindowLengthSetter() override;

  /// The published values for one decimation.
  struct Scheme {
    double samplingFrequency; // MHz
    std::uint32_t timingDivider;
    double samplingTime; // us
    double windowLength; // ms
  };

  /// The scheme for decimation D, IQ detection length L, clock (MHz) and pulse length P. D x L
  /// must lie in 1 .. 2^32 - 1 (the validator and the start-up check see to it).
  static Scheme computeScheme(std::uint32_t decimation, std::uint32_t iqDetectionLength, double clockFrequency,
      std::uint64_t pulseLength);

  /// True when D x L fits the firmware's 32-bit timing divider.
  static bool productFits(std::uint32_t decimation, std::uint32_t iqDetectionLength);

  /// Lines of the start-up report on configuration values out of range, frame included; empty
  /// when start-up may go on.
  static std::vector<std::string> configurationReport(
      std::uint32_t iqDetectionLength, double clockFrequency, double rfFrequency);

  /// Refuses start-up when the configuration is out of range: throws Corvane::StartUpRefusal, so
  /// that the process ends with the framed report and the keys' configuration file on standard
  /// error and exit status 1.
  void prepare() override;
  void mainLoop() override;

 private:
  // fixed configuration, read in this order
  std::uint64_t _pulseLength{appConfig().get<std::uint32_t>(ConfigurationKeys::pulseLength)};
  std::uint32_t _iqDetectionLength{appConfig().get<std::uint32_t>(ConfigurationKeys::iqDetectionLength)};
  double _clockFrequency{appConfig().get<double>(ConfigurationKeys::clockFrequency)};
  double _rfFrequency{appConfig().get<double>("Configuration/rfFrequency")};

 public:
  Corvane::ScalarPushInputWB<std::uint32_t> samplingDecimation{this, "/Configuration/samplingDecimation", "",
      "Decimation factor for sampling rates of FPGA DAQ data and control tables. Higher decimation factors will "
      "result in a longer pulse window at the cost of a lower time resolution.",
      {"DAQ"}};
  Corvane::ScalarPushInput<Corvane::Boolean> feedForwardEnable{this, "/Controller/FeedForward/enable", "", ""};
  Corvane::ScalarPushInput<Corvane::Boolean> feedBackEnable{this, "/Controller/FeedBack/enable", "", ""};
  Corvane::ScalarPushInput<std::int32_t> cwMode{this, "/Controller/PulseShape/cwMode", "", ""};
  Corvane::ScalarOutputPushRB<double> samplingFrequency{this, "/Configuration/samplingFrequency", "MHz",
      "IQ sampling frequency as used for the ADC and controller channels as well as the controller tables"};
  Corvane::ScalarOutput<double> samplingTime{this, "/Configuration/samplingTime", "us", "Inverse of samplingFrequency"};
  Corvane::ScalarOutput<double> windowLength{
      this, "/Configuration/windowLength", "ms", "Window length of ADC/controller data and tables"};

 private:
  // slaves and monitoring-only instances have no gain table that needs the copy
  bool _gainTableCopy{runsOwnController(configuredInstanceType(appConfig()))};

 public:
  /// Exists only when the gain-table copy is needed; otherwise an accessor of no variable.
  Corvane::ScalarOutputPushRB<double> samplingFrequencyForGainTable{_gainTableCopy
          ? Corvane::ScalarOutputPushRB<double>(this, "/Configuration/samplingFrequency_for_GainTable", "MHz",
                "Copy of the samplingFrequency variable for the GainTable, workaround for missing feature")
          : Corvane::ScalarOutputPushRB<double>()};
  Corvane::ScalarOutput<std::uint32_t> timingDividerController{
      this, "/SamplingScheme/timingDividerController", "", "Frequency divider used for controller DAQ"};
  Corvane::ScalarOutput<std::uint32_t> timingDividerTables{
      this, "/SamplingScheme/timingDividerTables", "", "Frequency divider used for control tables"};
};
