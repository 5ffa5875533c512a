#include "ControllerCoefficients.h"

#include "TableNumerics.h"

#include <sstream>

namespace {

  constexpr const char* matrixElements[] = {"11", "12", "21", "22"};
  constexpr std::size_t perElement = 5; // A_1, A_2, B_0, B_1, B_2
  constexpr std::size_t aCoefficients = 2;
  constexpr std::size_t bCoefficients = 3;

  template<class Accessor>
  std::array<Accessor, ControllerCoefficients::nCoefficients> coefficientAccessors(Corvane::Module* owner) {
    std::array<Accessor, ControllerCoefficients::nCoefficients> accessors;
    for(std::size_t k = 0; k < accessors.size(); ++k) {
      accessors[k] = Accessor(owner, ControllerCoefficients::coefficientName(k), "",
          ControllerCoefficients::coefficientDescription(k), {});
    }
    return accessors;
  }

  std::array<Corvane::ArrayOutput<float>, ControllerCoefficients::nArrays> firmwareAccessors(Corvane::Module* owner) {
    std::array<Corvane::ArrayOutput<float>, ControllerCoefficients::nArrays> arrays;
    for(std::size_t e = 0; e < std::size(matrixElements); ++e) {
      const std::string a = std::string("A") + matrixElements[e];
      const std::string b = std::string("B") + matrixElements[e];
      arrays[2 * e] = Corvane::ArrayOutput<float>(owner, a, "", aCoefficients, "Coefficients " + a, {});
      arrays[2 * e + 1] = Corvane::ArrayOutput<float>(owner, b, "", bCoefficients, "Coefficients " + b, {});
    }
    return arrays;
  }

} // namespace

std::string ControllerCoefficients::coefficientName(std::size_t k) {
  const auto place = placeOf(k);
  const bool isA = place.array % 2 == 0;
  const auto index = isA ? place.element + 1 : place.element;
  return std::string(isA ? "A" : "B") + matrixElements[k / perElement] + "_" + std::to_string(index);
}

std::string ControllerCoefficients::coefficientDescription(std::size_t k) {
  auto name = coefficientName(k);
  const auto underscore = name.find('_');
  return "Coefficient " + name.substr(0, underscore) + "[" + name.substr(underscore + 1) + "]";
}

ControllerCoefficients::Place ControllerCoefficients::placeOf(std::size_t k) {
  const std::size_t element = k / perElement;
  const std::size_t j = k % perElement;
  if(j < aCoefficients) return {2 * element, j};
  return {2 * element + 1, j - aCoefficients};
}

ControllerCoefficients::Actual::Actual(Corvane::Module* owner, const std::string& name,
    const std::string& description, const std::unordered_set<std::string>& tags)
: Corvane::VariableGroup(owner, name, description, tags),
  values(coefficientAccessors<Corvane::ScalarPushInputWB<double>>(this)) {}

ControllerCoefficients::ControllerCoefficients(Corvane::Module* owner, const std::string& name,
    const std::string& description, const std::unordered_set<std::string>& tags)
: Corvane::ApplicationModule(owner, name, description, tags),
  coefficients(coefficientAccessors<Corvane::ScalarPollInput<double>>(this)),
  apply(this, "apply", "", "Parameters are applied when this variable is written to", {}),
  actual(this, "Actual", "Actual parameters as they were set on the last 'apply' action", {}),
  firmwareArrays(firmwareAccessors(this)), valid(this, "valid", "", "Flag if coefficients are valid", {}) {}

void ControllerCoefficients::mainLoop() {
  auto group = readAnyGroup();

  std::array<double, nCoefficients> restored;
  for(std::size_t k = 0; k < nCoefficients; ++k) restored[k] = actual.values[k];
  if(const auto unfit = firstUnfitValue(restored)) {
    logger(Corvane::Logger::Severity::warning) << getName() << ": the restored coefficients are not loaded, "
                                               << *unfit << "; the board keeps the coefficients it holds";
  }
  else {
    publishActual();
  }

  while(true) {
    const auto changed = group.readAny();
    if(changed != apply.getId()) {
      restoreActualFromFirmware();
      continue;
    }
    std::array<double, nCoefficients> requested;
    for(std::size_t k = 0; k < nCoefficients; ++k) requested[k] = coefficients[k];
    if(const auto unfit = firstUnfitValue(requested)) {
      logger(Corvane::Logger::Severity::warning)
          << getName() << ": apply refused, " << *unfit << "; the last applied coefficients stay in the board";
      continue;
    }
    for(std::size_t k = 0; k < nCoefficients; ++k) actual.values[k] = requested[k];
    publishActual();
  }
}

void ControllerCoefficients::publishActual() {
  for(std::size_t k = 0; k < nCoefficients; ++k) {
    const auto place = placeOf(k);
    firmwareArrays[place.array][place.element] = static_cast<float>(static_cast<double>(actual.values[k]));
  }
  valid.setAndWrite(false);
  writeAll(true);
  valid.setAndWrite(true);
}

void ControllerCoefficients::restoreActualFromFirmware() {
  for(std::size_t k = 0; k < nCoefficients; ++k) {
    const auto place = placeOf(k);
    actual.values[k] = static_cast<double>(firmwareArrays[place.array][place.element]);
  }
  actual.writeAll(true);
}

std::optional<std::string> ControllerCoefficients::firstUnfitValue(const std::array<double, nCoefficients>& values) {
  const auto unfit = TableNumerics::firstUnfitIndex(values);
  if(!unfit) return std::nullopt;
  std::ostringstream text;
  text << coefficientName(*unfit) << " is " << values[*unfit];
  return text.str();
}
