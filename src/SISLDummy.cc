#include "SISLDummy.h"

#include <Corvane/Application.h>
#include <Corvane/BackendFactory.h>
#include <Corvane/DMapRelativePath.h>
#include <Corvane/Exception.h>
#include <Corvane/RegisterMapFile.h>
#include <Corvane/VirtualLab/SignalSourceException.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <numbers>
#include <span>

using Corvane::VirtualLab::periodOf;
using Corvane::VirtualLab::SignalSink;
using Corvane::VirtualLab::SignalSource;

SISLDummy::BackendRegisterer SISLDummy::backendRegisterer;

SISLDummy::BackendRegisterer::BackendRegisterer() {
  std::cout << "VirtualLabBackend::BackendRegisterer: registering backend type SISLDummy" << std::endl;
  Corvane::BackendFactory::getInstance().registerBackendType("SISLDummy", &SISLDummy::createInstance, {},
      Corvane::deviceAccessVersion);
}

std::shared_ptr<Corvane::DeviceBackend> SISLDummy::createInstance(
    const std::string& address, const std::map<std::string, std::string>& parameters) {
  const Corvane::DeviceDescriptor descriptor{"SISLDummy", address, parameters};
  const std::string mapFile = Corvane::registerMapFile(descriptor);
  std::optional<BoardSetup> setup;
  if(const std::string setupFile = descriptor.parameter("setup"); !setupFile.empty()) {
    setup = BoardSetup::load(Corvane::convertPathRelativeToDmapToAbs(setupFile));
  }
  return std::make_shared<SISLDummy>(mapFile, setup, BoardModelParameters::fromDescriptor(descriptor, nSamples));
}
std::atomic<bool> SISLDummy::testsProvideTrigger{false};

namespace {
  constexpr std::uint32_t firmwareVersion = 16909312; // 0x01020400
  constexpr std::uint32_t attenuatorSelectMask = 0x1ff;
  constexpr std::size_t driveAttenuator = 8;
  constexpr std::size_t detectionPitch = 6; // input i uses element 6 i of the detection rotation
  constexpr std::size_t controllerDaqChannels = 14;
  constexpr std::size_t inputDaqChannels = 16;
  constexpr double phaseCountsPerPi = 131072.0;
} // namespace

SISLDummy::SISLDummy(
    const std::string& mapFileName, const std::optional<BoardSetup>& setup, const BoardModelParameters& model)
: VirtualLabBackend(mapFileName, "SISLDummy"),
  module(*this, &Corvane::Application::getInstance(), VirtualLabModule::nameInApplication(), "The VirtualLab model"),
  ffTableI(nSamples), ffTableQ(nSamples), ffRotationTableI(nSamples), ffRotationTableQ(nSamples),
  setpointTableI(nSamples), setpointTableQ(nSamples), gainTableI(nSamples), gainTableQ(nSamples),
  controllerDaq(controllerDaqChannels * nSamples), inputDaq(inputDaqChannels * nSamples) {
  if(model.tableLength > 0) tableLength = std::min(model.tableLength, nSamples);
  vmOffsetI = model.vmOffsetI;
  vmOffsetQ = model.vmOffsetQ;
  addTimer<onTrigger>("trigger");
  addTimer<onStrobe>("strobe");

  std::lock_guard lock(mutex());
  // the first board of an application drives the application's macro-pulse trigger
  module.takeApplicationTrigger();

  regVersion = firmwareVersion;
  clockFrequency = 65000000.0;
  triggerRate = 10.0;
  samplingFrequency = 65000000.0 / 36.0;
  computeStepRate = 100000.0;
  driveGain = 5.0;
  vectorSumDaqScale = 1.0;
  proportionalDaqScale = 1.0;
  outputPhaseOffset = 0.0;
  outputAmplitudeFactor = 1.0;
  regClockFrequency = clockFrequency;

  timers().setTimer("trigger", periodOf(triggerRate));

  const Picoseconds samplePeriod = periodOf(samplingFrequency);
  const Picoseconds historyLength = 2 * periodOf(triggerRate);
  StateVariables initial;
  initial.sampleIndex = 0;
  initial.active = true;
  stateVariables.setInitialState(0, initial);
  stateVariables.setComputeFunction([this](Picoseconds t) { return computeState(t); });
  stateVariables.setCoarseStep(periodOf(computeStepRate));
  stateVariables.setValidityPeriod(samplePeriod);
  stateVariables.setMaxHistoryLength(historyLength);

  for(std::size_t i = 0; i < nInputs; ++i) {
    inputSinksI[i] = std::make_shared<SignalSink>(0.0);
    inputSinksI[i]->setMaxHistoryLength(historyLength);
    inputSinksQ[i] = std::make_shared<SignalSink>(0.0);
    inputSinksQ[i]->setMaxHistoryLength(historyLength);
  }

  driveSourceI = std::make_shared<SignalSource>();
  driveSourceQ = std::make_shared<SignalSource>();
  driveSourceI->setValidityPeriod(samplePeriod);
  driveSourceQ->setValidityPeriod(samplePeriod);
  driveSourceI->setCallback([this](Picoseconds t) { return stateVariables.getState(t).driveI; });
  driveSourceQ->setCallback([this](Picoseconds t) { return stateVariables.getState(t).driveQ; });
  // input 7 measures the board's own drive
  inputSinksI[7]->connect(driveSourceI);
  inputSinksQ[7]->connect(driveSourceQ);

  for(std::size_t i = 0; i < attenuations.size(); ++i) setAttenuation(i, 0.0);
  checkRegisterSizes();
  if(setup) setup->applyTo(*this);
  readingsStale = true;
}

void SISLDummy::checkRegisterSizes() const {
  for(const auto* table : {&regFeedForwardI.getRegisterInfo(), &regFeedForwardQ.getRegisterInfo(),
          &regFeedForwardRotationI.getRegisterInfo(), &regFeedForwardRotationQ.getRegisterInfo(),
          &regSetpointI.getRegisterInfo(), &regSetpointQ.getRegisterInfo(), &regGainI.getRegisterInfo(),
          &regGainQ.getRegisterInfo()}) {
    if(table->nElements != nSamples) {
      throw Corvane::logic_error("SISLDummy: table register " + table->path + " (" + table->location() + ") has " +
          std::to_string(table->nElements) + " elements, the board needs " + std::to_string(nSamples));
    }
  }
  struct Area {
    const Corvane::RegisterInfo& info;
    std::size_t channels;
  };
  for(const Area& area : {Area{regControllerDaq.getRegisterInfo(), controllerDaqChannels},
          Area{regInputDaq.getRegisterInfo(), inputDaqChannels}}) {
    if(area.info.nChannels < area.channels || area.info.nSamples < nSamples) {
      throw Corvane::logic_error("SISLDummy: DAQ register " + area.info.path + " (" + area.info.location() + ") has " +
          std::to_string(area.info.nChannels) + "x" + std::to_string(area.info.nSamples) + " elements, the board needs " +
          std::to_string(area.channels) + "x" + std::to_string(nSamples));
    }
  }
  struct Minimum {
    const Corvane::RegisterInfo& info;
    std::size_t elements;
  };
  const std::size_t detectionElements = detectionPitch * (nInputs - 1) + 1;
  for(const Minimum& minimum : {Minimum{regDetectionSine.getRegisterInfo(), detectionElements},
          Minimum{regDetectionCosine.getRegisterInfo(), detectionElements}, Minimum{regDacOffset.getRegisterInfo(), 2}}) {
    if(minimum.info.nElements < minimum.elements) {
      throw Corvane::logic_error("SISLDummy: register " + minimum.info.path + " (" + minimum.info.location() +
          ") has " + std::to_string(minimum.info.nElements) + " elements, the board needs at least " +
          std::to_string(minimum.elements));
    }
  }
}

void SISLDummy::regWriteEvents(std::uint8_t bar, std::uint64_t address, std::size_t nBytes) {
  if(inside(regAttenuatorValue.getRegisterInfo(), bar, address, nBytes)) processEvent(onWriteAttenuatorValue{});
}

void SISLDummy::setAttenuation(std::size_t index, double db) {
  attenuations[index] = db;
  attenuationFactors[index] = RegulationLoop::attenuationFactor(db);
  readingsStale = true;
}

void SISLDummy::writeAttenuatorValue() {
  const auto selected = static_cast<std::uint32_t>(regAttenuatorSelect.get()) & attenuatorSelectMask;
  for(std::size_t i = 0; i < nInputs; ++i) {
    if(selected & (1U << i)) setAttenuation(i, RegulationLoop::attenuationFromRegister(regAttenuatorValue, 0.5));
  }
  if(selected & (1U << driveAttenuator)) {
    setAttenuation(driveAttenuator, RegulationLoop::attenuationFromRegister(regAttenuatorValue, 0.25));
  }
}

void SISLDummy::doTrigger() {
  publishDaq();
  lastTriggerTime = timers().getCurrentTime();
  zeroDriveReported = {};

  const std::uint32_t selected = regTablesBuffer;
  const std::uint32_t actual = regTablesBufferActual;
  if(selected != actual) {
    const std::uint32_t changed = selected ^ actual;
    if(changed & (1U << 0)) ffTableI = regFeedForwardI.getAll();
    if(changed & (1U << 1)) ffTableQ = regFeedForwardQ.getAll();
    if(changed & (1U << 2)) ffRotationTableI = regFeedForwardRotationI.getAll();
    if(changed & (1U << 3)) ffRotationTableQ = regFeedForwardRotationQ.getAll();
    if(changed & (1U << 4)) setpointTableI = regSetpointI.getAll();
    if(changed & (1U << 5)) setpointTableQ = regSetpointQ.getAll();
    if(changed & (1U << 8)) gainTableI = regGainI.getAll();
    if(changed & (1U << 9)) gainTableQ = regGainQ.getAll();
    regTablesBufferActual = selected;
  }

  channelMask = static_cast<std::uint8_t>(regVectorSumChannels.get() & 0xff);
  timers().setTimer("trigger", periodOf(triggerRate));
  timers().setTimer("strobe", 0);
}

void SISLDummy::doStrobe() {
  const Picoseconds t = timers().getCurrentTime();
  const StateVariables state = stateVariables.getState(t);
  if(!state.active) {
    publishDaq();
    return;
  }
  const auto n = static_cast<std::size_t>(state.sampleIndex);

  std::array<RegulationLoop::IQ, nInputs> inputs;
  for(std::size_t i = 0; i < nInputs; ++i) {
    try {
      inputs[i] = detectInput(i, t);
    }
    catch(const Corvane::VirtualLab::SignalSourceException& e) {
      std::cout << "SISLDummy::doStrobe: Corvane::VirtualLab::SignalSourceException exception caught: " << e.what()
                << std::endl;
      inputs[i] = {};
    }
  }
  recordDaq(n, state, inputs);

  if(n < nSamples) timers().setTimer("strobe", periodOf(samplingFrequency));
}

void SISLDummy::recordDaq(
    std::size_t n, const StateVariables& state, const std::array<RegulationLoop::IQ, nInputs>& inputs) {
  if(daqRunLength > 0 && n != daqRunFirst + daqRunLength) publishDaq();
  if(daqRunLength == 0) daqRunFirst = n;

  for(std::size_t i = 0; i < nInputs; ++i) {
    const RegulationLoop::IQ& detected = inputs[i];
    inputDaq[2 * i * nSamples + n] = std::sqrt(detected.i * detected.i + detected.q * detected.q);
    inputDaq[(2 * i + 1) * nSamples + n] = std::atan2(detected.q, detected.i) / std::numbers::pi * phaseCountsPerPi;
  }

  const std::array<double, controllerDaqChannels> controller{state.vectorSumI * vectorSumDaqScale,
      state.vectorSumQ * vectorSumDaqScale,
      // the set point in force, as the controller firmware records it beside the vector sum
      state.setpointI, state.setpointQ, state.errorI, state.errorQ, state.gainI, state.gainQ,
      state.proportionalI * proportionalDaqScale, state.proportionalQ * proportionalDaqScale, state.feedForwardI,
      state.feedForwardQ, state.driveI, state.driveQ};
  for(std::size_t c = 0; c < controllerDaqChannels; ++c) controllerDaq[c * nSamples + n] = controller[c];

  ++daqRunLength;
  if(n == nSamples - 1 || daqRunLength >= daqRun) publishDaq();
}

void SISLDummy::publishDaq() {
  if(daqRunLength == 0) return;
  const std::size_t first = daqRunFirst, length = daqRunLength;
  daqRunLength = 0;
  auto run = [&](const std::vector<double>& samples, std::size_t channel) {
    return std::span<const double>(samples).subspan(channel * nSamples + first, length);
  };
  for(std::size_t c = 0; c < controllerDaqChannels; ++c) regControllerDaq.setSamples(c, first, run(controllerDaq, c));
  for(std::size_t c = 0; c < inputDaqChannels; ++c) regInputDaq.setSamples(c, first, run(inputDaq, c));
}

RegulationLoop::IQ SISLDummy::detectInput(std::size_t input, Picoseconds t) {
  const RegulationLoop::IQ raw{inputSinksI[input]->getValue(t), inputSinksQ[input]->getValue(t)};
  const Readings& r = currentReadings();
  return RegulationLoop::detect(raw, attenuationFactors[input], r.detectionCosine[input], r.detectionSine[input]);
}

const SISLDummy::Readings& SISLDummy::currentReadings() {
  if(readingsStale || readingsGeneration != getOutsideWriteGeneration()) {
    readingsGeneration = getOutsideWriteGeneration();
    readingsStale = false;
    readings.settings = readSettings();
    for(std::size_t i = 0; i < nInputs; ++i) {
      readings.detectionCosine[i] = regDetectionCosine.get(detectionPitch * i);
      readings.detectionSine[i] = regDetectionSine.get(detectionPitch * i);
    }
    readings.vectorSumRotationRe = regVectorSumRotationRe;
    readings.vectorSumRotationIm = regVectorSumRotationIm;
  }
  return readings;
}

RegulationLoop::Settings SISLDummy::readSettings() {
  RegulationLoop::Settings settings;
  settings.feedbackEnabled = regFeedbackEnable.get() != 0;
  settings.integratorEnabled = regIntegratorEnable.get() != 0;
  settings.feedForwardEnabled = regFeedForwardEnable.get() != 0;
  settings.limitI = regLimitI.get();
  settings.limitQ = regLimitQ.get();
  settings.dacOffsetI = regDacOffset.get(0);
  settings.dacOffsetQ = regDacOffset.get(1);
  settings.vmOffsetI = vmOffsetI;
  settings.vmOffsetQ = vmOffsetQ;
  settings.outputRotationRe = regOutputRotationRe;
  settings.outputRotationIm = regOutputRotationIm;
  settings.driveAttenuationFactor = attenuationFactors[driveAttenuator];
  settings.driveGain = driveGain;
  const double phi = std::numbers::pi * outputPhaseOffset / 180.0;
  settings.finalRotationCos = std::cos(phi);
  settings.finalRotationSin = std::sin(phi);
  settings.outputAmplitudeFactor = outputAmplitudeFactor;
  return settings;
}

SISLDummy::StateVariables SISLDummy::computeState(Picoseconds t) {
  const StateVariables& previous = stateVariables.getLatestState();
  const Picoseconds previousTime = stateVariables.getLatestTime();

  StateVariables state;
  RegulationLoop::advanceIndex(previous.sampleIndex, t == lastTriggerTime, state);
  const std::size_t n = RegulationLoop::tableIndex(state.sampleIndex, tableLength);
  state.feedForwardI = ffTableI[n];
  state.feedForwardQ = ffTableQ[n];
  state.setpointI = setpointTableI[n];
  state.setpointQ = setpointTableQ[n];
  state.gainI = gainTableI[n];
  state.gainQ = gainTableQ[n];

  const double elapsedSamples = static_cast<double>(t - previousTime) / (1e12 / samplingFrequency);
  reportZeroDrive(RegulationLoop::computeDrive(previous, state, elapsedSamples, currentReadings().settings));

  // the drive is recorded before the inputs are read, so a model reading it at t gets this value
  driveSourceI->feedValue(t, state.driveI);
  driveSourceQ->feedValue(t, state.driveQ);

  RegulationLoop::IQ sum;
  for(std::size_t i = 0; i < nInputs; ++i) {
    if(!(channelMask & (1U << i))) continue;
    const auto detected = detectInput(i, t);
    sum.i += detected.i;
    sum.q += detected.q;
  }
  const double r = currentReadings().vectorSumRotationRe, m = currentReadings().vectorSumRotationIm;
  state.vectorSumI = sum.i * r - sum.q * m;
  state.vectorSumQ = sum.i * m + sum.q * r;
  return state;
}

void SISLDummy::reportZeroDrive(const RegulationLoop::ZeroDriveChecks& checks) {
  if(!checks.any()) return;
  const std::array<bool, 3> failed{checks.a, checks.b, checks.c};
  for(std::size_t k = 0; k < failed.size(); ++k) {
    if(!failed[k] || zeroDriveReported[k]) continue;
    zeroDriveReported[k] = true;
    std::cout << "Warning: FF enabled but vmOut=0 at step " << static_cast<char>('A' + k) << std::endl;
  }
}
