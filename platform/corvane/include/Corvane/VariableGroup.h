// A named group of variables inside an application module. Its name is a directory below the
// owner's ("." adds no level, "/..." is absolute); its tags apply to every variable inside.
#pragma once

#include "Corvane/Module.h"

namespace Corvane {

  class VariableGroup : public Module {
   public:
    /// An ownerless placeholder: its variables take no part in anything until a real group is
    /// moved over it.
    VariableGroup() = default;
    VariableGroup(Module* owner, const std::string& name, const std::string& description,
        const std::unordered_set<std::string>& tags = {});
    VariableGroup(VariableGroup&&) noexcept = default;
    VariableGroup& operator=(VariableGroup&&) noexcept = default;

   protected:
    using Module::Module;
  };

} // namespace Corvane
