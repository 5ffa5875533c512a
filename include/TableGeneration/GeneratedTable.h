// One generated table of the table generation as amplitude and phase arrays of
// "Configuration/pulseLength" samples ("amplitude" and "phase", both tagged
// "DAQ"), which its sub-algorithm recomputes in full and writes destructively.
#pragma once

#include <Corvane/ArrayAccessor.h>
#include <Corvane/VariableGroup.h>

#include <cstdint>
#include <string>

namespace TableGeneration {

  class GeneratedTable : public Corvane::VariableGroup {
   public:
    GeneratedTable(Corvane::Module* owner, const std::string& name, const std::string& description);

    /// Both arrays to 0.
    void clear();
    /// Amplitude, then phase, each destructively.
    void write();

    std::uint32_t pulseLength;
    Corvane::ArrayOutput<double> amplitude{this, "amplitude", "digits", pulseLength, "", {"DAQ"}};
    Corvane::ArrayOutput<double> phase{this, "phase", "digits", pulseLength, "", {"DAQ"}};
  };

} // namespace TableGeneration
