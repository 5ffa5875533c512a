#include "Corvane/VariableFilter.h"

#include "Corvane/ProcessVariableProxy.h"

namespace Corvane::Model {

  VariableFilter::VariableFilter(Predicate predicate) : _predicate(std::move(predicate)) {}

  VariableFilter operator&&(VariableFilter a, VariableFilter b) {
    return VariableFilter([a = std::move(a), b = std::move(b)](const ProcessVariableProxy& v) { return a(v) && b(v); });
  }

  VariableFilter operator||(VariableFilter a, VariableFilter b) {
    return VariableFilter([a = std::move(a), b = std::move(b)](const ProcessVariableProxy& v) { return a(v) || b(v); });
  }

  VariableFilter operator!(VariableFilter a) {
    return VariableFilter([a = std::move(a)](const ProcessVariableProxy& v) { return !a(v); });
  }

  VariableFilter keepAll() {
    return VariableFilter([](const ProcessVariableProxy&) { return true; });
  }

  VariableFilter keepTag(std::string tag) {
    return VariableFilter([tag = std::move(tag)](const ProcessVariableProxy& v) { return v.hasTag(tag); });
  }

} // namespace Corvane::Model
