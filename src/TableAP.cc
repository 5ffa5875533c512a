#include "TableAP.h"

#include "ConfigurationKeys.h"

#include <Corvane/ConfigReader.h>

TableAP::TableAP() : pulseLength(appConfig().get<std::uint32_t>(ConfigurationKeys::pulseLength)) {}

TableAP::TableAP(Corvane::Module* owner, const std::string& name, const std::string& description,
    const std::unordered_set<std::string>& tags)
: Corvane::VariableGroup(owner, name, description, tags),
  pulseLength(appConfig().get<std::uint32_t>(ConfigurationKeys::pulseLength)) {}
