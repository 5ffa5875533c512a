#include "RotationAndScalingTable.h"

#include "ConfigurationKeys.h"
#include "TableNumerics.h"

#include <Corvane/ConfigReader.h>
#include <Corvane/ReadAnyGroup.h>

#include <cmath>
#include <numbers>

RotationAndScalingTable::RotationAndScalingTable(Corvane::ModuleGroup* owner, const std::string& name,
    const std::string& description, const std::unordered_set<std::string>& tags)
: Corvane::ApplicationModule(owner, name, description, tags),
  pulseLength(appConfig().get<std::uint32_t>(ConfigurationKeys::pulseLength)) {}

void RotationAndScalingTable::mainLoop() {
  Corvane::ReadAnyGroup inputs{scale, rotation};
  while(true) {
    // the first pass takes the initial values; every later update of either input makes a full pass
    if(computeTable()) {
      table.writeToFirmware(tableLock, BufferedTable<double>::DataWrite::destructive, logSource);
    }
    inputs.readAny();
  }
}

bool RotationAndScalingTable::computeTable() {
  auto unfit = TableNumerics::firstUnfitElement(scale.value(), "scale");
  if(!unfit) unfit = TableNumerics::firstUnfitElement(rotation.value(), "rotation");
  if(unfit) {
    logger(Corvane::Logger::Severity::warning, logSource)
        << "Table " << table.path() << " refused: " << *unfit << "; the firmware keeps the last table";
    return false;
  }
  for(std::uint32_t i = 0; i < pulseLength; ++i) {
    const double angle = std::numbers::pi * rotation[i] / 180.0;
    table.I[i] = std::cos(angle) * scale[i];
    table.Q[i] = std::sin(angle) * scale[i];
  }
  return true;
}
