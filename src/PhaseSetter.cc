#include "PhaseSetter.h"

#include "ConfigurationKeys.h"

#include <Corvane/ConfigReader.h>

#include <cstdint>

PhaseSetter::PhaseSetter(Corvane::Module* owner, const std::string& name, const std::string& description,
    const std::unordered_set<std::string>& tags)
: Corvane::ApplicationModule(owner, name, description, tags) {
  if(appConfig().get<std::int32_t>(ConfigurationKeys::enablePhaseSetter) == 0) disable();
}
