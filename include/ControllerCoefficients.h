// One set of the controller board's feedback-path coefficients (the MIMO controller's or the Smith
// predictor's): a 2 x 2 matrix whose elements 11, 12, 21 and 22 each have the A coefficients 1 and 2 and the
// B coefficients 0, 1 and 2, twenty numbers in all.
//
// Operators edit the twenty inputs freely; nothing reaches the board until "apply" is written. Then the
// inputs are copied into the "Actual" mirror, converted to single precision into the eight firmware arrays,
// written framed by "valid" (false while the arrays change), and the mirror is republished. At start the
// board gets the restored "Actual" set again, so that it always runs the last applied set.
//
// The feedback loop is running while this happens, so a set that holds a value that is not finite or lies
// beyond the single-precision range is refused whole, with a warning naming the value: on "apply" the last
// applied set stays in the board and in "Actual"; at start the board keeps what it holds. A write to an
// "Actual" value from outside is undone: the mirror is set back from the firmware arrays and written back.
#pragma once

#include <Corvane/ApplicationModule.h>
#include <Corvane/ArrayAccessor.h>
#include <Corvane/ScalarAccessor.h>
#include <Corvane/VariableGroup.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

class ControllerCoefficients : public Corvane::ApplicationModule {
 public:
  /// Twenty coefficients, in the order A11_1, A11_2, B11_0, B11_1, B11_2, A12_1, ... B22_2.
  static constexpr std::size_t nCoefficients = 20;
  /// The firmware arrays A11, B11, A12, B12, A21, B21, A22, B22.
  static constexpr std::size_t nArrays = 8;

  /// The name of coefficient k ("A11_1") and its description ("Coefficient A11[1]").
  static std::string coefficientName(std::size_t k);
  static std::string coefficientDescription(std::size_t k);

  /// The applied set as the control system sees it.
  class Actual : public Corvane::VariableGroup {
   public:
    Actual() = default;
    Actual(Corvane::Module* owner, const std::string& name, const std::string& description,
        const std::unordered_set<std::string>& tags = {});
    Actual(Actual&&) noexcept = default;
    Actual& operator=(Actual&&) noexcept = default;
    ~Actual() override = default;

    std::array<Corvane::ScalarPushInputWB<double>, nCoefficients> values;
  };

  ControllerCoefficients() = default;
  ControllerCoefficients(Corvane::Module* owner, const std::string& name, const std::string& description,
      const std::unordered_set<std::string>& tags = {});
  ControllerCoefficients(ControllerCoefficients&&) noexcept = default;
  ControllerCoefficients& operator=(ControllerCoefficients&&) noexcept = default;
  ~ControllerCoefficients() override = default;

  void mainLoop() override;

  std::array<Corvane::ScalarPollInput<double>, nCoefficients> coefficients;
  Corvane::ScalarPushInput<std::int32_t> apply;
  Actual actual;
  std::array<Corvane::ArrayOutput<float>, nArrays> firmwareArrays;
  Corvane::ScalarOutput<Corvane::Boolean> valid;

 private:
  /// Steps P1 to P4: the "Actual" values into the firmware arrays, framed by "valid".
  void publishActual();
  /// The "Actual" values back from the firmware arrays, written back to the control system.
  void restoreActualFromFirmware();
  /// The first of the given values that the firmware cannot take, as "<name> is <value>".
  static std::optional<std::string> firstUnfitValue(const std::array<double, nCoefficients>& values);

  /// Where coefficient k lies in the firmware arrays.
  struct Place {
    std::size_t array;
    std::size_t element;
  };
  static Place placeOf(std::size_t k);
};
