// A group of modules without a thread of its own; its work is done in its constructor.
#pragma once

#include "Corvane/Module.h"

namespace Corvane {

  class ModuleGroup : public Module {
   public:
    ModuleGroup() = default;
    ModuleGroup(Module* owner, const std::string& name, const std::string& description,
        const std::unordered_set<std::string>& tags = {});
    ModuleGroup(ModuleGroup&&) noexcept = default;
    ModuleGroup& operator=(ModuleGroup&&) noexcept = default;

   protected:
    using Module::Module;
  };

} // namespace Corvane
