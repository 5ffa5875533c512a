// A module with its own thread: mainLoop() runs once the application is started, after every
// input holds its initial value.
#pragma once

#include "Corvane/Logger.h"
#include "Corvane/VariableGroup.h"

namespace Corvane {

  class ApplicationModule : public VariableGroup {
   public:
    ApplicationModule() = default;
    ApplicationModule(Module* owner, const std::string& name, const std::string& description,
        const std::unordered_set<std::string>& tags = {});
    ApplicationModule(ApplicationModule&&) noexcept = default;
    ApplicationModule& operator=(ApplicationModule&&) noexcept = default;

    /// The module's work. May return: that ends only this module's thread.
    virtual void mainLoop() = 0;

    /// Log stream whose source is the module's class name without namespace ("GainTable").
    Logger::Stream logger(Logger::Severity severity) const;
    Logger::Stream logger(int severity) const { return logger(Logger::toSeverity(severity)); }
    /// Log stream with an explicit source name.
    static Logger::Stream logger(Logger::Severity severity, std::string source) {
      return Logger::instance().stream(severity, std::move(source));
    }
    static Logger::Stream logger(int severity, std::string source) {
      return Logger::instance().stream(Logger::toSeverity(severity), std::move(source));
    }
  };

} // namespace Corvane
