#include "OutputVectorCorrection/Controller.h"

namespace OutputVectorCorrection {

  namespace {
    const std::string fromController = "DAQ data from FPGA controller";
  }

  Controller::FeedForward::FeedForward(Corvane::Module* owner, std::uint32_t pulseLength)
  : Corvane::VariableGroup(owner, "FeedForward", "", {inputDataTag}), correction(this, "Correction", ""),
    flattopRatio(this, "flattopRatio", "", "Amplitude ratio flattop/filling"), table(this, pulseLength),
    daq(this, "DAQ", "", pulseLength) {}

  Controller::FeedForward::Table::Table(Corvane::Module* owner, std::uint32_t pulseLength)
  : Corvane::VariableGroup(owner, "Table", ""), I(this, "I", "digits", pulseLength, ""),
    Q(this, "Q", "digits", pulseLength, "") {}

  Controller::VectorSum::VectorSum(Corvane::Module* owner, std::uint32_t pulseLength)
  : Corvane::VariableGroup(owner, "VectorSum", "Calibrated vector sum"), daq(this, pulseLength) {}

  Controller::VectorSum::DAQ::DAQ(Corvane::Module* owner, std::uint32_t pulseLength)
  : DaqTraces(owner, "DAQ", fromController, pulseLength, {inputDataTag}),
    samples(this, "Samples", "Samples taken at the global sampling position") {}

  Controller::Output::Output(Corvane::Module* owner, std::uint32_t pulseLength)
  : Corvane::VariableGroup(owner, "Output", "Controller output"), total(this, pulseLength), calibration(this) {}

  Controller::Output::Total::Total(Corvane::Module* owner, std::uint32_t pulseLength)
  : Corvane::VariableGroup(owner, "Total", "Total output to the vector modulator", {inputDataTag}),
    daq(this, "DAQ", fromController, pulseLength) {}

  Controller::Output::Calibration::Calibration(Corvane::Module* owner)
  : Corvane::VariableGroup(owner, "Calibration", "Controller input and output calibration"),
    manual(this, "Manual", "Manual control (only if OVC is deactivated)") {}

  Controller::Error::Error(Corvane::Module* owner, std::uint32_t pulseLength)
  : Corvane::VariableGroup(owner, "Error", "Controller input", {inputDataTag}),
    daq(this, "DAQ", fromController, pulseLength) {}

  Controller::Controller(Corvane::Module* owner, const std::string& name, const std::string& description,
      std::uint32_t pulseLength)
  : Corvane::VariableGroup(owner, name, description), feedForward(this, pulseLength),
    feedBack(this, "FeedBack", ""), setPoint(this, "SetPoint", ""),
    feedBackOutput(this, "Output/Proportional/DAQ", "", pulseLength, {inputDataTag}),
    status(this, "Status", "Controller status", {inputDataTag}), vectorSum(this, pulseLength),
    output(this, pulseLength), error(this, pulseLength), pulseShape(this, "PulseShape", "Pulse shape parameters"),
    vectorModulator(this, "VectorModulator", "Vector modulator configuration") {}

} // namespace OutputVectorCorrection
