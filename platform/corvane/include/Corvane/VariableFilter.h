// Filters of the variable model's searches: predicates on process variables that combine with
// &&, || and !, e.g. keepTag("DAQ") && !keepTag("internal").
#pragma once

#include <functional>
#include <string>

namespace Corvane::Model {

  class ProcessVariableProxy;

  class VariableFilter {
   public:
    using Predicate = std::function<bool(const ProcessVariableProxy&)>;

    explicit VariableFilter(Predicate predicate);

    bool operator()(const ProcessVariableProxy& variable) const { return _predicate(variable); }

    friend VariableFilter operator&&(VariableFilter a, VariableFilter b);
    friend VariableFilter operator||(VariableFilter a, VariableFilter b);
    friend VariableFilter operator!(VariableFilter a);

   private:
    Predicate _predicate;
  };

  /// Every variable.
  VariableFilter keepAll();
  /// Variables whose merged tag set contains `tag` (tags of any accessor at the path, including
  /// those inherited from the accessor's groups and modules).
  VariableFilter keepTag(std::string tag);

} // namespace Corvane::Model
