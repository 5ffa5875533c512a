// A module with its own thread: mainLoop() runs once the application is started, after every
// input holds its initial value.
#pragma once

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
  };

} // namespace Corvane
