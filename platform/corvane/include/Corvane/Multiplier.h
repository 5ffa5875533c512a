// Multiplier: a module that publishes input × factor, for derived calibration values such as a bit
// scaling with cavity length scaling.
//
// The module is named "." so its three variables lie at the paths given, relative to the owner.
// The output is written once when the module starts and again on every update of input or factor.
// The factor carries the unit "(outputUnit)/(inputUnit)".
#pragma once

#include "Corvane/ApplicationModule.h"
#include "Corvane/ArrayAccessor.h"
#include "Corvane/Conversion.h"
#include "Corvane/ScalarAccessor.h"

#include <cstddef>
#include <limits>
#include <string>
#include <type_traits>
#include <unordered_set>
#include <utility>

namespace Corvane {

  /// Output type is InputType; the factor is one value applied to each of the nElements inputs.
  template<class InputType, class FactorType = InputType, std::size_t nElements = 1>
  class Multiplier : public ApplicationModule {
    static_assert(std::is_arithmetic_v<InputType> && std::is_arithmetic_v<FactorType>,
        "Multiplier works on numeric types only");
    static_assert(nElements > 0, "Multiplier needs at least one element");

   public:
    /// A placeholder that takes part in nothing until a real multiplier is moved over it.
    Multiplier() = default;

    Multiplier(Module* owner, const std::string& inputName, const std::string& inputUnit,
        const std::string& factorName, const std::string& outputName, const std::string& outputUnit,
        const std::string& description, const std::unordered_set<std::string>& inputTags = {},
        const std::unordered_set<std::string>& factorTags = {},
        const std::unordered_set<std::string>& outputTags = {})
    : ApplicationModule(owner, ".", description),
      input(this, inputName, inputUnit, nElements, description, inputTags),
      factor(this, factorName, "(" + outputUnit + ")/(" + inputUnit + ")", description, factorTags),
      output(this, outputName, outputUnit, nElements, description, outputTags) {}

    Multiplier(Multiplier&&) noexcept = default;
    Multiplier& operator=(Multiplier&&) noexcept = default;

    ArrayPushInput<InputType> input;
    ScalarPushInput<FactorType> factor;
    ArrayOutput<InputType> output;

    void mainLoop() override {
      auto group = readAnyGroup();
      while(true) {
        bool unrepresentable = false;
        for(std::size_t i = 0; i < nElements; ++i) output[i] = multiply(input[i], factor, unrepresentable);
        output.setDataValidity(unrepresentable ? DataValidity::faulty : DataValidity::ok);
        output.write();
        group.readAny();
      }
    }

    /// One product, computed wide enough not to overflow, then rounded and clamped to the output
    /// type. A NaN product for an integer output gives 0 and sets `unrepresentable`.
    static InputType multiply(InputType value, FactorType scale, bool& unrepresentable) {
      if constexpr(std::is_floating_point_v<InputType> || std::is_floating_point_v<FactorType>) {
        long double product = static_cast<long double>(value) * static_cast<long double>(scale);
        return convertValue<InputType>(product, unrepresentable);
      }
      else {
        using Wide = __int128;
        Wide product = 0;
        if(__builtin_mul_overflow(static_cast<Wide>(value), static_cast<Wide>(scale), &product)) {
          bool negative = std::cmp_less(value, 0) != std::cmp_less(scale, 0);
          return negative ? std::numeric_limits<InputType>::min() : std::numeric_limits<InputType>::max();
        }
        if(product < static_cast<Wide>(std::numeric_limits<InputType>::min())) {
          return std::numeric_limits<InputType>::min();
        }
        if(product > static_cast<Wide>(std::numeric_limits<InputType>::max())) {
          return std::numeric_limits<InputType>::max();
        }
        return static_cast<InputType>(product);
      }
    }
  };

} // namespace Corvane
