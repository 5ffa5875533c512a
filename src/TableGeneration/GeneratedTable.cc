#include "TableGeneration/GeneratedTable.h"

#include "ConfigurationKeys.h"

#include <Corvane/ConfigReader.h>

#include <algorithm>

namespace TableGeneration {

  GeneratedTable::GeneratedTable(Corvane::Module* owner, const std::string& name, const std::string& description)
  : Corvane::VariableGroup(owner, name, description),
    pulseLength(appConfig().get<std::uint32_t>(ConfigurationKeys::pulseLength)) {}

  void GeneratedTable::clear() {
    std::ranges::fill(amplitude, 0.0);
    std::ranges::fill(phase, 0.0);
  }

  void GeneratedTable::write() {
    amplitude.writeDestructively();
    phase.writeDestructively();
  }

} // namespace TableGeneration
