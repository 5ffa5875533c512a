#include "TableGeneration/SubAlgo.h"

#include "ConfigurationKeys.h"
#include "TableGeneration/TGenMain.h"

#include <Corvane/ConfigReader.h>

#include <string>

namespace TableGeneration {

  SubAlgo::SubAlgo(TGenMain* owner, const std::string& name, const std::string& description,
      const std::unordered_set<std::string>& tags)
  : Corvane::VariableGroup(owner, name, description, tags),
    _pulseLength(appConfig().get<std::uint32_t>(ConfigurationKeys::pulseLength)),
    _enablePerBunchSetpoints(appConfig().get<Corvane::Boolean>(TGenMain::enablePerBunchSetpointsKey)),
    _m(owner) {}

  SubAlgo::SubAlgo()
  : _pulseLength(appConfig().get<std::uint32_t>(ConfigurationKeys::pulseLength)),
    _enablePerBunchSetpoints(false),
    _m(nullptr) {}

  void SubAlgo::safeAssert(bool condition, const char* conditionText, const char* file, std::int32_t line,
      const std::function<void()>& onFailure) const {
    if(condition) return;
    Corvane::ApplicationModule::logger(Corvane::Logger::Severity::error, TGenMain::logSource)
        << "safe_assert in " << file << " (" << line << ") failed: !(" << conditionText << ")";
    _m->setError("safe_assert " + std::to_string(line) + " failed, notify developer!");
    if(onFailure) onFailure();
  }

} // namespace TableGeneration
