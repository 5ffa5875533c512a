// Unit substitution: the placeholders alone and inside compound units, whole-token matching, one
// visit per variable, and that nothing but the unit changes.
#include "PlaceholderUnits.h"

#include <Corvane/Corvane.h>
#include <Corvane/Multiplier.h>

#include <gtest/gtest.h>

using namespace Corvane;

namespace {

  struct UnitCase {
    const char* declared;
    const char* substituted; // nullptr: left unchanged
  };

  TEST(PlaceholderUnits, TableInOrderWithStationUnits) {
    PlaceholderUnits units("MV/m", "MV", "kW");
    const UnitCase cases[] = {{"G.U.", "MV/m"}, {"digits/G.U.", "digits/MV/m"}, {"G.U.L.S.", "MV"},
        {"digits/G.U.L.S.", "digits/MV"}, {"P.U.", "kW"}, {"G.U.^2/P.U.", "MV/m^2/kW"}, {"digits^2/P.U.", "digits^2/kW"},
        {"G.U./flattop", "MV/m/flattop"}};
    for(auto c : cases) {
      auto r = units.replacementFor(c.declared);
      ASSERT_TRUE(r.has_value()) << c.declared;
      EXPECT_EQ(*r, c.substituted) << c.declared;
    }
  }

  TEST(PlaceholderUnits, CompoundUnitsHaveEveryPlaceholderReplaced) {
    PlaceholderUnits units("MV/m", "MV", "kW");
    const UnitCase cases[] = {{"(digits/G.U.L.S.)/(digits/G.U.)", "(digits/MV)/(digits/MV/m)"}, {"G.U./us", "MV/m/us"},
        {"P.U./s", "kW/s"}, {"G.U.L.S.^2", "MV^2"}, {"G.U. ", "MV/m "}, {"1/(G.U.*P.U.)", "1/(MV/m*kW)"},
        {"P.U./P.U.", "kW/kW"}};
    for(auto c : cases) EXPECT_EQ(units.replacementFor(c.declared), c.substituted) << c.declared;
  }

  TEST(PlaceholderUnits, OnlyWholeCaseExactTokensMatch) {
    PlaceholderUnits units("MV/m", "MV", "kW");
    // lower case, part of a longer token, or no placeholder at all
    for(const char* unit : {"g.u.", "XG.U.", "G.U.s", "G.U.L.", "aP.U.", "P.U.x", "deg", "", "MHz", "digits"}) {
      EXPECT_FALSE(units.replacementFor(unit).has_value()) << '"' << unit << '"';
    }
  }

  TEST(PlaceholderUnits, EmptyConfiguredUnitsAreUsedAsTheyAre) {
    PlaceholderUnits units("", "", "");
    EXPECT_EQ(units.replacementFor("G.U."), "");
    EXPECT_EQ(units.replacementFor("digits/G.U."), "digits/");
    EXPECT_EQ(units.replacementFor("G.U.^2/P.U."), "^2/");
  }

  struct Declarations : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarOutput<float> field{this, "field", "G.U.", "A field", {"DAQ"}};
    ScalarOutput<float> power{this, "power", "P.U.", "A power"};
    ScalarOutput<float> other{this, "other", "deg", "Not a placeholder"};
    ArrayOutput<float> trace{this, "trace", "G.U.L.S.", 4, "A trace"};
    void mainLoop() override {}
  };

  struct UnitsApp : Application {
    UnitsApp() : Application("unitsApp") {}
    Declarations declarations{this, "Module", "Declarations"};
    Multiplier<double> multiplier{this, "bitScaling", "digits/G.U.", "lengthScale", "bitScalingLengthScaled",
        "digits/G.U.L.S.", "Bit scaling"};
  };

  std::string unitOf(const EntityOwner& root, const std::string& path) {
    for(auto& node : root.getAccessorListRecursive()) {
      if(node.getPath() == path) return node.getUnit();
    }
    return "<no such variable>";
  }

  TEST(PlaceholderUnits, SubstitutesEveryDeclaredVariableOnceAndNothingElse) {
    UnitsApp app;
    // the gradient unit reads like the power placeholder: it must not be changed a second time
    PlaceholderUnits units("P.U.", "MV", "kW");
    // field, power, trace, and the multiplier's two inputs and output
    EXPECT_EQ(units.substituteIn(app), 6u);
    EXPECT_EQ(unitOf(app, "/Module/field"), "P.U.");
    EXPECT_EQ(unitOf(app, "/Module/power"), "kW");
    EXPECT_EQ(unitOf(app, "/Module/other"), "deg");
    EXPECT_EQ(unitOf(app, "/Module/trace"), "MV");
    EXPECT_EQ(unitOf(app, "/bitScaling"), "digits/P.U.");
    EXPECT_EQ(unitOf(app, "/bitScalingLengthScaled"), "digits/MV");
    // the factor's unit is composed by the multiplier; its placeholders are replaced too
    EXPECT_EQ(unitOf(app, "/lengthScale"), "(digits/MV)/(digits/P.U.)");

    EXPECT_EQ(app.declarations.field.getDescription(), "A field");
    EXPECT_EQ(app.declarations.field.getName(), "/Module/field");
    EXPECT_EQ(app.declarations.field.getNode().getTags(), std::unordered_set<std::string>{"DAQ"});
    EXPECT_EQ(app.declarations.trace.getNElements(), 4u);
  }

} // namespace
