// The snapshot of parameter values that decides whether a batch of changes
// regenerates the tables: exact comparison of numbers, arrays and texts.
#include "TableGeneration/ParameterSnapshot.h"

#include <Corvane/ArrayAccessor.h>
#include <Corvane/ScalarAccessor.h>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>

namespace {

  using TableGeneration::ParameterSnapshot;

  // accessors without a module: their values are set directly
  struct Inputs {
    Corvane::ArrayPushInput<double> table{nullptr, "table", "", 3, ""};
    Corvane::ScalarPushInput<float> gain{nullptr, "gain", "", ""};
    Corvane::ScalarPushInput<std::string> name{nullptr, "name", "", ""};
  };

  TEST(ParameterSnapshot, OnlyValuesThatDifferExactlyCountAsChanges) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
      std::string what;
      std::function<void(Inputs&)> write;
      bool changed;
    };
    // applied in order, each against the values the one before left
    const Case cases[] = {{"nothing written", [](Inputs&) {}, false},
        {"same element", [](Inputs& i) { i.table[1] = 0.0; }, false},
        {"last element", [](Inputs& i) { i.table[2] = 4.0; }, true},
        {"negative zero", [](Inputs& i) { i.table[0] = -0.0; }, true},
        {"positive zero again", [](Inputs& i) { i.table[0] = 0.0; }, true},
        {"NaN", [nan](Inputs& i) { i.table[1] = nan; }, true},
        {"the same NaN", [nan](Inputs& i) { i.table[1] = nan; }, false},
        {"NaN of another sign", [nan](Inputs& i) { i.table[1] = -nan; }, true},
        {"float negative zero", [](Inputs& i) { i.gain = -0.0f; }, true},
        {"text", [](Inputs& i) { i.name = "pulse"; }, true}, {"same text", [](Inputs& i) { i.name = "pulse"; }, false},
        {"change and undo",
            [](Inputs& i) {
              i.gain = 2.0f;
              i.gain = -0.0f;
            },
            false}};
    Inputs inputs;
    ParameterSnapshot snapshot({inputs.table, inputs.gain, inputs.name});
    for(const auto& c : cases) {
      SCOPED_TRACE(c.what);
      c.write(inputs);
      EXPECT_EQ(snapshot.update(), c.changed);
      // the new values are taken: nothing is left to report
      EXPECT_FALSE(snapshot.update());
    }
    EXPECT_TRUE(std::signbit(inputs.table[1]));
  }

} // namespace
