#include "OutputVectorCorrection/OVCMain.h"

#include <Corvane/ConfigReader.h>

namespace OutputVectorCorrection {

  OVCMain::OVCMain(Corvane::Module* owner, const std::string& name, const std::string& description,
      const std::unordered_set<std::string>& tags)
  : Corvane::ApplicationModule(owner, name, description, tags),
    pulseLength(appConfig().get<std::uint32_t>("Configuration/pulseLength")) {
    auto instanceType = appConfig().get<std::int32_t>("Configuration/instanceType");
    if(instanceType == 2 || instanceType == 4) disable();
  }

} // namespace OutputVectorCorrection
