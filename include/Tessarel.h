// Tessarel: the application of one LLRF station server. It owns every module of the station,
// built once from the instance name: "<name>.dmap" is the device map and
// "<name>_base_config.xml" the configuration file, both relative to the working directory.
//
// The members are built in declaration order and torn down in reverse after the owner has shut
// the application down (the server's main on every path, a TestFacility in tests). Modules that
// are built late (MicroDAQ, aggregators) start as ownerless placeholders at their place in the
// order and receive the real module by move assignment.
// Placeholder units ("G.U.", "P.U.", ...) are replaced by the configured units once every
// module except the MicroDAQ exists.
#pragma once

#include "AdcBoardRoot.h"
#include "Automation.h"
#include "BeamLoadingCompensation.h"
#include "ControllerRoot.h"
#include "LearningFeedForward.h"
#include "OutputVectorCorrection/OVCMain.h"
#include "PhaseSetter.h"
#include "ReferencePhaseMonitor.h"
#include "SamplingPosition.h"
#include "SoftwareVectorSum.h"
#include "TessarelServer.h"
#include "TriggerIntervalMonitor.h"
#include "UserVariables.h"
#include "WindowLengthSetter.h"

#include <Corvane/Application.h>
#include <Corvane/ConfigReader.h>
#include <Corvane/DeviceModule.h>
#include <Corvane/EventMessageAggregator.h>
#include <Corvane/MicroDAQ.h>
#include <Corvane/Multiplier.h>
#include <Corvane/PeriodicTrigger.h>
#include <Corvane/SetDMapFilePath.h>
#include <Corvane/StatusAggregator.h>
#include <Corvane/VersionInfoProvider.h>

#include <cstdint>
#include <string>
#include <vector>

class Tessarel : public Corvane::Application {
 public:
  /// Version of this release, published by the version module and logged at start.
  static constexpr std::int32_t majorVersion = 8;
  static constexpr std::int32_t minorVersion = 7;
  static constexpr std::int32_t patchVersion = 1;

  /// The server information group "Server" (data-loss counter, invalidity tracer).
  using Server = TessarelServer;

  /// Builds the whole application. Configuration errors (a required key missing, a key of another
  /// type, optional ones such as "Configuration/extraDevices" included, a count beyond its limit
  /// (ConfigurationLimits), more boards than the device map has, a board's register map that lacks
  /// a configured channel, a duplicated extra device) throw Corvane::logic_error naming the key and
  /// the file; configurations that contradict the automation throw Corvane::StartUpRefusal (the
  /// program prints its line and exits with status 1).
  explicit Tessarel(const std::string& instanceName);

  /// Logs the start-up banner, registers the boards' registers with the MicroDAQ, then connects
  /// the network (Corvane::Application::initialise). An optional "Configuration/MicroDAQ/enableDetails"
  /// that is not a Boolean throws Corvane::logic_error naming the key.
  void initialise() override;

  Corvane::SetDMapFilePath dmapPath;
  Corvane::ConfigReader config;
  Corvane::Multiplier<double, double, 1> bitScalingMultiplier;
  SamplingPosition samplingPosition;
  WindowLengthSetter windowLengthSetter;
  /// One per "Configuration/nAdcBoards", built in the constructor body before the extra devices.
  std::vector<AdcBoardRoot> adcBoards;
  ControllerRoot controller;
  Automation automation;
  PhaseSetter phaseSetter;
  TriggerIntervalMonitor triggerIntervalMonitor;
  ReferencePhaseMonitor referencePhaseMonitor;
  OutputVectorCorrection::OVCMain outputVectorCorrection;
  SoftwareVectorSum forwardVectorSum;
  LearningFeedForward learningFeedForward;
  BeamLoadingCompensation beamLoadingCompensation;
  Corvane::MicroDAQ<std::int64_t> microDaq;
  Server server;
  Corvane::PeriodicTrigger monitoringTrigger;
  UserVariables userVariables;
  Corvane::VersionInfoProvider versionInfo;
  std::vector<Corvane::ConnectingDeviceModule> extraDevices;
  Corvane::EventMessageAggregator eventMessageAggregator;
  Corvane::StatusAggregator statusAggregator;

 private:
  void buildAdcBoards();
  void buildExtraDevices();
  /// Also confines the MicroDAQ's files to "Configuration/MicroDAQ/directoryRoot" when the
  /// configuration gives it (a string), else to the working directory.
  void registerBoardsWithMicroDaq();
};
