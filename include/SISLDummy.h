// The simulated controller board: a device backend of type "SISLDummy" that stands in for the
// controller board, so that the whole server runs without hardware. The application reaches it
// only through its registers, as it reaches the real board.
//
// Inside, the board keeps the register space of its register map, a sample-by-sample model of
// the controller's regulation loop (RegulationLoop, one state per computed time in a state set),
// three events (a write of the attenuator value, the macro-pulse trigger, the sample strobe) run
// to completion by the virtual-lab base, signal sinks for its eight inputs and signal sources
// for its drive output, and its virtual-lab module, which holds the cavity model and advances
// the board's simulated time (picoseconds).
//
// Per pulse: the trigger takes over the tables whose buffer bits changed and latches the
// vector-sum channel mask; one strobe per sample then records the two DAQ buffers' values until
// the pulse's last sample. The board keeps them in plain arrays and publishes them to its
// register space in runs of up to daqRun samples, at the pulse's last sample and at the next
// trigger, so a client reading a buffer in the middle of a pulse sees it up to the last run
// published. DAQ0_BUF0 holds per sample the vector sum (channels 0, 1), the set point
// (2, 3), error (4, 5), gain (6, 7), proportional term (8, 9), feed-forward (10, 11) and drive
// (12, 13); DAQ1_BUF0 each input's amplitude and phase (2 i, 2 i + 1; 131072 counts per pi).
// The board's checks for a drive that stays 0 with feed-forward on print once per pulse each.
//
// Register values the loop works with (enables, limits, offsets, rotations, detection) are read
// once and kept; every change of the register space from outside (client writes, setRegister,
// see DummyBackend::getOutsideWriteGeneration) and every attenuator change has them read again
// at the next sample, so a write takes effect at the first sample computed after it.
//
// Rotations are complex multiplications (re + i im): the output rotation OVC.WORD_ROT_RE/IM
// turns the drive, the vector-sum rotation CTRL.WORD_VS_ROT_RE/IM the summed inputs. A station
// maps its calibrations' cosine tables on the real parts and their sine tables on the imaginary
// parts; the calibrations write scale cos(angle) and scale sin(angle) there (llrf::RotationParameter,
// whatever its sine sign), so the board turns the signal with the calibration angle: an output
// angle of +10 deg turns the drive, the cavity field and the measured phase by +10 deg, a
// vector-sum angle of +10 deg the measured vector sum by +10 deg.
//
// With the descriptor parameter "setup", a set-up file (BoardSetup) gives registers their
// power-on values after construction, e.g. the vector-sum channel mask and the detection. The
// parameters "tableLength", "vmOffsetI" and "vmOffsetQ" (BoardModelParameters) describe the
// hardware further: how many table entries the firmware plays before it holds the last one (the
// board's continuous-wave operation between pulses), and the vector modulator's own DC offsets.
//
// Threads: every event runs under the base's mutex (client register writes, the module's timer
// advance, the module's test trigger); so do the state computation and the cavity model, which
// run inside the events. The board's own register accessors take no lock and raise no event.
#pragma once

#include "BoardModelParameters.h"
#include "BoardSetup.h"
#include "RegulationLoop.h"
#include "VirtualLabModule.h"

#include <Corvane/DummyMultiplexedRegisterAccessor.h>
#include <Corvane/DummyRegisterAccessor.h>
#include <Corvane/VirtualLab/SignalSink.h>
#include <Corvane/VirtualLab/SignalSource.h>
#include <Corvane/VirtualLab/StateVariableSet.h>
#include <Corvane/VirtualLab/VirtualLabBackend.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class SISLDummy : public Corvane::VirtualLab::VirtualLabBackend<SISLDummy> {
 public:
  using Picoseconds = Corvane::VirtualLab::Picoseconds;
  using StateVariables = RegulationLoop::State;

  /// The board's events.
  struct onWriteAttenuatorValue {};
  struct onTrigger {};
  struct onStrobe {};

  /// Registers the type "SISLDummy" with the backend factory when the library is loaded (the
  /// creator is createInstance): prints "VirtualLabBackend::BackendRegisterer: registering
  /// backend type SISLDummy" to standard output first.
  class BackendRegisterer {
   public:
    BackendRegisterer();
  };
  static BackendRegisterer backendRegisterer;

  /// The board of a device descriptor: its register map from the parameter "map" (required),
  /// with the parameter "setup" the register values of a set-up file (BoardSetup) applied at
  /// the end of construction, both paths relative to the device map's folder, and its model
  /// parameters (BoardModelParameters).
  static std::shared_ptr<Corvane::DeviceBackend> createInstance(
      const std::string& address, const std::map<std::string, std::string>& parameters);

  /// Set by tests: the virtual-lab module then takes its trigger from "/Server/testTrigger".
  static std::atomic<bool> testsProvideTrigger;

  static constexpr std::size_t nSamples = RegulationLoop::nSamples;
  static constexpr std::size_t nInputs = 8;
  /// Longest run of DAQ samples published to the register space at once.
  static constexpr std::size_t daqRun = 1024;

  explicit SISLDummy(const std::string& mapFileName, const std::optional<BoardSetup>& setup = std::nullopt,
      const BoardModelParameters& model = {});
  ~SISLDummy() override = default;
  SISLDummy(const SISLDummy&) = delete;
  SISLDummy& operator=(const SISLDummy&) = delete;

  /// The events' actions (run by the base's event queue under the mutex).
  void handle(const onWriteAttenuatorValue&) { writeAttenuatorValue(); }
  void handle(const onTrigger&) { doTrigger(); }
  void handle(const onStrobe&) { doStrobe(); }

  /// The board's virtual-lab module (owned by the board, registered with the application).
  VirtualLabModule& virtualLabModule() { return module; }

  /// Stored samples of the regulation loop (use under the mutex).
  Corvane::VirtualLab::StateVariableSet<StateVariables>& getStateVariables() { return stateVariables; }
  /// Attenuation of input 0-7 and of the drive (8), in dB (use under the mutex).
  double getAttenuation(std::size_t index) const { return attenuations.at(index); }
  /// Table entries the firmware plays before it holds the last one.
  std::size_t getTableLength() const { return tableLength; }

 private:
  VirtualLabModule module;

 public:
  std::array<std::shared_ptr<Corvane::VirtualLab::SignalSink>, nInputs> inputSinksI, inputSinksQ;
  std::shared_ptr<Corvane::VirtualLab::SignalSource> driveSourceI, driveSourceQ;

 protected:
  void regWriteEvents(std::uint8_t bar, std::uint64_t address, std::size_t nBytes) override;

 private:
  template<class T>
  using Register = Corvane::DummyRegisterAccessor<T>;
  template<class T>
  using MultiplexedRegister = Corvane::DummyMultiplexedRegisterAccessor<T>;

  void writeAttenuatorValue();
  void doTrigger();
  void doStrobe();
  /// The register values the loop works with (see above), as read at one time.
  struct Readings {
    RegulationLoop::Settings settings;
    std::array<double, nInputs> detectionCosine{}, detectionSine{};
    double vectorSumRotationRe{0.0}, vectorSumRotationIm{0.0};
  };

  StateVariables computeState(Picoseconds t);
  /// The kept readings, read again first when the register space or an attenuation changed.
  const Readings& currentReadings();
  RegulationLoop::Settings readSettings();
  RegulationLoop::IQ detectInput(std::size_t input, Picoseconds t);
  /// Records sample n of the DAQ buffers' channels (publishing first what cannot join the run).
  void recordDaq(std::size_t n, const StateVariables& state, const std::array<RegulationLoop::IQ, nInputs>& inputs);
  /// Writes the recorded samples not yet published to the DAQ buffers.
  void publishDaq();
  void reportZeroDrive(const RegulationLoop::ZeroDriveChecks& checks);
  void setAttenuation(std::size_t index, double db);
  void checkRegisterSizes() const;

  double clockFrequency{0.0};
  double triggerRate{0.0};
  double samplingFrequency{0.0};
  double computeStepRate{0.0};
  double driveGain{0.0};
  double vectorSumDaqScale{0.0};
  double proportionalDaqScale{0.0};
  double outputPhaseOffset{0.0};
  double outputAmplitudeFactor{0.0};

  std::array<double, nInputs + 1> attenuations{};
  std::array<double, nInputs + 1> attenuationFactors{}; ///< 10^(dB/10) of each attenuation
  std::uint8_t channelMask{0};
  std::size_t tableLength{nSamples};
  double vmOffsetI{0.0}, vmOffsetQ{0.0};
  Picoseconds pulseLengthPs{9074215385};
  Picoseconds triggerPeriodPs{100000000000};
  Picoseconds lastTriggerTime{0};
  Corvane::VirtualLab::StateVariableSet<StateVariables> stateVariables;

  Register<std::int32_t> regResetN{*this, "BSP.WORD_RESET_N"};
  Register<double> regClockFrequency{*this, "BSP.WORD_CLK_FREQ"};
  MultiplexedRegister<double> regControllerDaq{*this, "APP.DAQ0_BUF0"};
  MultiplexedRegister<double> regInputDaq{*this, "APP.DAQ1_BUF0"};
  Register<std::int32_t> regVectorSumChannels{*this, "FD.WORD_VS_CH_ENA"};
  Register<std::int32_t> regFeedForwardI{*this, "CTABLES.AREA_FF_I"};
  Register<std::int32_t> regFeedForwardQ{*this, "CTABLES.AREA_FF_Q"};
  Register<double> regFeedForwardRotationI{*this, "CTABLES.AREA_FF_CORR_I"};
  Register<double> regFeedForwardRotationQ{*this, "CTABLES.AREA_FF_CORR_Q"};
  Register<std::int32_t> regSetpointI{*this, "CTABLES.AREA_SP_I"};
  Register<std::int32_t> regSetpointQ{*this, "CTABLES.AREA_SP_Q"};
  Register<double> regGainI{*this, "CTABLES.AREA_GP_I"};
  Register<double> regGainQ{*this, "CTABLES.AREA_GP_Q"};
  Register<std::uint32_t> regTablesBuffer{*this, "CTABLES.BIT_CTL_TABLES_BUF"};
  Register<std::uint32_t> regTablesBufferActual{*this, "CTABLES.BIT_CTL_TABLES_BUF_ACTUAL"};
  Register<std::int32_t> regFeedForwardEnable{*this, "CTRL.BIT_FF_ENA"};
  Register<std::int32_t> regFeedbackEnable{*this, "CTRL.BIT_FB_ENA"};
  Register<std::int32_t> regIntegratorEnable{*this, "CTRL.BIT_FB_INT_ENA"};
  Register<std::int32_t> regAttenuatorSelect{*this, "KXF5QN2.WORD_ATT_SEL"};
  Register<double> regAttenuatorValue{*this, "KXF5QN2.WORD_ATT_VAL"};
  Register<double> regOutputRotationRe{*this, "OVC.WORD_ROT_RE"};
  Register<double> regOutputRotationIm{*this, "OVC.WORD_ROT_IM"};
  Register<double> regVectorSumRotationRe{*this, "CTRL.WORD_VS_ROT_RE"};
  Register<double> regVectorSumRotationIm{*this, "CTRL.WORD_VS_ROT_IM"};
  Register<double> regDetectionSine{*this, "FD.WORD_IQ_SIN"};
  Register<double> regDetectionCosine{*this, "FD.WORD_IQ_COS"};
  Register<std::uint32_t> regVersion{*this, "BSP.WORD_VERSION"};
  Register<std::int32_t> regLimitI{*this, "CTRL.WORD_CNTRL_I_LIMIT"};
  Register<std::int32_t> regLimitQ{*this, "CTRL.WORD_CNTRL_Q_LIMIT"};
  Register<std::int32_t> regDacOffset{*this, "OUTPUT.WORD_DAC_OFFSET"};

  std::vector<std::int32_t> ffTableI, ffTableQ;
  std::vector<double> ffRotationTableI, ffRotationTableQ;
  std::vector<std::int32_t> setpointTableI, setpointTableQ;
  std::vector<double> gainTableI, gainTableQ;

  Readings readings;
  bool readingsStale{true};
  std::uint64_t readingsGeneration{0};

  /// The DAQ buffers' samples, channel after channel (as in the register space), and the run
  /// recorded since the last publication.
  std::vector<double> controllerDaq, inputDaq;
  std::size_t daqRunFirst{0}, daqRunLength{0};

  /// Zero-drive checks already printed in the current pulse (A, B, C).
  std::array<bool, 3> zeroDriveReported{};
};
