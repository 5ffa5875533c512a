#include "OutputVectorCorrection/OVCMain.h"

#include "ConfigurationKeys.h"
#include "InstanceType.h"

#include <Corvane/ConfigReader.h>

namespace OutputVectorCorrection {

  OVCMain::OVCMain(Corvane::Module* owner, const std::string& name, const std::string& description,
      const std::unordered_set<std::string>& tags)
  : Corvane::ApplicationModule(owner, name, description, tags),
    pulseLength(appConfig().get<std::uint32_t>(ConfigurationKeys::pulseLength)) {
    if(!runsOwnController(configuredInstanceType(appConfig()))) disable();
  }

} // namespace OutputVectorCorrection
