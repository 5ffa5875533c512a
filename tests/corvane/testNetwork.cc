// Building the variable network: feeders, conversions, metadata, constants, disabled modules,
// and the connection errors that name the path and every participant.
#include <Corvane/Corvane.h>
#include <Corvane/TestFacility.h>
#include <gtest/gtest.h>

using namespace Corvane;

namespace {

  /// A module that declares whatever a test asks for and does nothing with it.
  struct Holder : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    std::vector<ScalarAccessor<int>> ints;
    std::vector<ScalarAccessor<double>> doubles;
    std::vector<ScalarAccessor<std::string>> strings;
    std::vector<ArrayAccessor<float>> arrays;
    void mainLoop() override {}
  };

  struct NetworkApp : Application {
    NetworkApp() : Application("network") {}
  };

  constexpr VariableDirection out{VariableDirection::feeding, false};
  constexpr VariableDirection outRB{VariableDirection::feeding, true};
  constexpr VariableDirection in{VariableDirection::consuming, false};
  constexpr VariableDirection inWB{VariableDirection::consuming, true};

  std::string connectError(const std::function<void(NetworkApp&, Holder&, Holder&)>& declare) {
    NetworkApp app;
    Holder a(&app, "A", ""), b(&app, "B", "");
    declare(app, a, b);
    try {
      app.initialise();
    }
    catch(Corvane::logic_error& e) {
      return e.what();
    }
    return {};
  }

} // namespace

TEST(Network, ConnectionErrorsNamePathAndParticipants) {
  struct Case {
    std::string name;
    std::function<void(NetworkApp&, Holder&, Holder&)> declare;
    std::string fragment;
  };
  std::vector<Case> cases{
      {"two outputs",
          [](NetworkApp&, Holder& a, Holder& b) {
            a.ints.emplace_back(&a, "/x", out, "", UpdateMode::push, "");
            b.ints.emplace_back(&b, "/x", out, "", UpdateMode::push, "");
          },
          "more than one feeder"},
      {"string into int",
          [](NetworkApp&, Holder& a, Holder& b) {
            a.strings.emplace_back(&a, "/x", out, "", UpdateMode::push, "");
            b.ints.emplace_back(&b, "/x", in, "", UpdateMode::push, "");
          },
          "cannot be converted"},
      {"different lengths",
          [](NetworkApp&, Holder& a, Holder& b) {
            a.arrays.emplace_back(&a, "/x", out, "", 4, UpdateMode::push, "");
            b.arrays.emplace_back(&b, "/x", in, "", 5, UpdateMode::push, "");
          },
          "different numbers of elements"},
      {"write-back onto a plain output",
          [](NetworkApp&, Holder& a, Holder& b) {
            a.ints.emplace_back(&a, "/x", out, "", UpdateMode::push, "");
            b.ints.emplace_back(&b, "/x", inWB, "", UpdateMode::push, "");
          },
          "write-back"},
  };
  for(auto& c : cases) {
    auto message = connectError(c.declare);
    EXPECT_NE(message.find("Variable /x"), std::string::npos) << c.name << ": " << message;
    EXPECT_NE(message.find(c.fragment), std::string::npos) << c.name << ": " << message;
    EXPECT_NE(message.find("/network/A"), std::string::npos) << c.name << ": " << message;
    EXPECT_NE(message.find("/network/B"), std::string::npos) << c.name << ": " << message;
  }
  // the good cases of the same shapes connect
  EXPECT_EQ(connectError([](NetworkApp&, Holder& a, Holder& b) {
    a.ints.emplace_back(&a, "/x", outRB, "", UpdateMode::push, "");
    b.ints.emplace_back(&b, "/x", inWB, "", UpdateMode::push, "");
    b.doubles.emplace_back(&b, "/x", in, "", UpdateMode::poll, "");
  }),
      "");
}

namespace {
  struct Converter : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPushInput<double> source{this, "/source", "", ""};
    ScalarOutput<double> value{this, "/value", "V", "a double"};
    void mainLoop() override {
      while(true) {
        value.setAndWrite(source);
        source.read();
      }
    }
  };
  struct Reader : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPushInput<std::int8_t> small{this, "/value", "", ""};
    ScalarPushInput<std::uint32_t> unsignedValue{this, "/value", "", "other description"};
    ScalarPushInput<Boolean> flag{this, "/value", "", ""};
    ScalarOutput<std::int32_t> copySmall{this, "/copySmall", "", ""};
    ScalarOutput<std::uint32_t> copyUnsigned{this, "/copyUnsigned", "", ""};
    ScalarOutput<Boolean> copyFlag{this, "/copyFlag", "", ""};
    void mainLoop() override {
      while(true) {
        copySmall.setAndWrite(small);
        copyUnsigned.setAndWrite(unsignedValue);
        copyFlag.setAndWrite(flag);
        readAll();
      }
    }
  };
  struct ConvertApp : Application {
    ConvertApp() : Application("convert") {}
    Converter converter{this, "Converter", ""};
    Reader reader{this, "Reader", ""};
  };
} // namespace

TEST(Network, NumericConversionRoundsAndClamps) {
  ConvertApp app;
  TestFacility test(app);
  test.runApplication();
  struct Case {
    double in;
    int small;
    std::uint32_t unsignedValue;
    bool flag;
  };
  std::vector<Case> cases{
      {2.5, 3, 3, true},
      {-2.5, -3, 0, true},
      {1000., 127, 1000, true},
      {-1000., -128, 0, true},
      {0.0, 0, 0, false},
      {0.4, 0, 0, true},
      {1e20, 127, 4294967295u, true},
  };
  for(auto& c : cases) {
    test.writeScalar<double>("/source", c.in);
    test.stepApplication();
    EXPECT_EQ(test.readScalar<int>("/copySmall"), c.small) << c.in;
    EXPECT_EQ(test.readScalar<std::uint32_t>("/copyUnsigned"), c.unsignedValue) << c.in;
    EXPECT_EQ(bool(test.readScalar<Boolean>("/copyFlag")), c.flag) << c.in;
  }
  // NaN into an integer gives 0 marked faulty
  test.writeScalar<double>("/source", std::nan(""));
  test.stepApplication();
  EXPECT_EQ(test.readScalar<int>("/copySmall"), 0);
  EXPECT_EQ(test.getValidity("/copySmall"), DataValidity::faulty);
  test.writeScalar<double>("/source", 1.);
  test.stepApplication();
  EXPECT_EQ(test.getValidity("/copySmall"), DataValidity::ok);
  // metadata of the feeder wins
  auto& value = app.getControlSystem().variable("/value");
  EXPECT_EQ(value.unit(), "V");
  EXPECT_EQ(value.description(), "a double");
  EXPECT_EQ(value.type(), DataType::float64);
}

namespace {
  /// Forwards an int32 table; its readers take it as float and as double.
  struct IntTable : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ArrayPushInput<std::int32_t> source{this, "/counts", "", 6, ""};
    ArrayOutput<std::int32_t> table{this, "/table", "", 6, ""};
    void mainLoop() override {
      while(true) {
        table = source.value();
        table.write();
        source.read();
      }
    }
  };
  struct FloatTableReader : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ArrayPushInput<float> asFloat{this, "/table", "", 6, ""};
    ArrayPushInput<double> asDouble{this, "/table", "", 6, ""};
    ArrayOutput<float> floatCopy{this, "/floatCopy", "", 6, ""};
    ArrayOutput<double> doubleCopy{this, "/doubleCopy", "", 6, ""};
    void mainLoop() override {
      while(true) {
        floatCopy = asFloat.value();
        doubleCopy = asDouble.value();
        writeAll();
        readAll();
      }
    }
  };
  struct TableConvertApp : Application {
    TableConvertApp() : Application("tableconvert") {}
    IntTable source{this, "IntTable", ""};
    FloatTableReader reader{this, "Reader", ""};
  };
} // namespace

TEST(Network, IntegerTablesReachFloatingPointReadersRoundedToNearest) {
  TableConvertApp app;
  TestFacility test(app);
  test.runApplication();
  // 2^24 + 1 and 2^24 + 3 have no float: they round to the nearest, ties to even
  const std::vector<std::int32_t> counts{0, -7, 16777217, 16777219, 2147483647, -2147483647 - 1};
  test.writeArray<std::int32_t>("/counts", counts);
  test.stepApplication();
  EXPECT_EQ(test.readArray<float>("/floatCopy"),
      (std::vector<float>{0.F, -7.F, 16777216.F, 16777220.F, 2147483648.F, -2147483648.F}));
  EXPECT_EQ(test.readArray<double>("/doubleCopy"),
      (std::vector<double>{0., -7., 16777217., 16777219., 2147483647., -2147483648.}));
  EXPECT_EQ(test.getValidity("/floatCopy"), DataValidity::ok);
}

namespace {
  struct Late : VariableGroup {
    using VariableGroup::VariableGroup;
    ScalarOutput<int> first{this, "first", "", ""};
    struct Inner : VariableGroup {
      using VariableGroup::VariableGroup;
      ScalarOutput<int> deep{this, "deep", "", ""};
    } inner;
  };
  struct Builder : ApplicationModule {
    Builder() = default;
    Builder(Module* owner, const std::string& name) : ApplicationModule(owner, name, "", {"MOD"}) {
      // placeholder-then-move, the group first, then its nested group
      late = Late(this, "Late", "built late", {"GROUP"});
      late.inner = Late::Inner(&late, "Inner", "");
      late.inner.deep = ScalarOutput<int>(&late.inner, "deep", "", "", {"OWN"});
      absolute = ScalarOutput<int>(this, "/Elsewhere/abs", "", "");
    }
    Late late;
    Late unused; // stays a placeholder
    ScalarOutput<int> absolute;
    ScalarPollInput<int> one{this, "one", "", ""};
    void mainLoop() override {
      one.read();
      late.first.setAndWrite(one);
      late.inner.deep.setAndWrite(one + 1);
      absolute.setAndWrite(one + 2);
    }
  };
  struct MoveApp : Application {
    MoveApp() : Application("move") {
      builder = Builder(this, "Builder");
      skipped.disable();
    }
    Builder builder;
    Builder skipped{this, "Skipped"};
  };
} // namespace

TEST(Network, PlaceholdersMovesTagsAndDisabledModules) {
  MoveApp app;
  auto list = app.builder.getAccessorListRecursive();
  std::vector<std::string> paths;
  for(auto& node : list) paths.push_back(node.getPath());
  EXPECT_EQ(paths, (std::vector<std::string>{
                       "/Builder/one", "/Elsewhere/abs", "/Builder/Late/first", "/Builder/Late/Inner/deep"}));
  for(auto& node : list) {
    if(node.getPath() == "/Builder/Late/Inner/deep") {
      auto tags = node.getTags();
      EXPECT_TRUE(tags.count("OWN") && tags.count("GROUP") && tags.count("MOD"));
    }
  }
  EXPECT_TRUE(app.builder.late.inner.hasOwner());
  EXPECT_FALSE(app.builder.unused.hasOwner());
  EXPECT_EQ(app.builder.late.inner.getQualifiedName(), "/move/Builder/Late/Inner");

  TestFacility test(app);
  test.setScalarDefault<int>("/Builder/one", 5);
  test.runApplication();
  EXPECT_EQ(test.readScalar<int>("/Builder/Late/first"), 5);
  EXPECT_EQ(test.readScalar<int>("/Builder/Late/Inner/deep"), 6);
  EXPECT_EQ(test.readScalar<int>("/Elsewhere/abs"), 7);
  // the disabled module publishes nothing
  EXPECT_FALSE(app.getControlSystem().has("/Skipped/one"));
  EXPECT_FALSE(app.getControlSystem().has("/Builder/Late/Inner/first"));
  auto tags = app.getControlSystem().variable("/Builder/Late/Inner/deep").tags();
  EXPECT_TRUE(tags.count("OWN") && tags.count("GROUP") && tags.count("MOD"));
}

namespace {
  struct ConstantUser : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPollInput<Boolean> disable{this, constant(false), "", ""};
    ScalarPollInput<double> factor{this, constant(-1.5), "", ""};
    ScalarPollInput<std::uint32_t> zero{this, constant(0), "", ""};
    ScalarPollInput<std::string> text{this, constant(std::string("a/b c")), "", ""};
    ScalarOutput<double> result{this, "/result", "", ""};
    ScalarOutput<std::string> resultText{this, "/resultText", "", ""};
    void mainLoop() override {
      result.setAndWrite(disable ? 0. : factor * 2 + zero);
      resultText.setAndWrite(text);
    }
  };
  struct ConstantApp : Application {
    ConstantApp() : Application("constants") {}
    ConstantUser user{this, "User", ""};
  };
} // namespace

TEST(Network, ConstantsFeedAnyInput) {
  ConstantApp app;
  TestFacility test(app);
  test.runApplication();
  EXPECT_DOUBLE_EQ(test.readScalar<double>("/result"), -3.);
  EXPECT_EQ(test.readScalar<std::string>("/resultText"), "a/b c");
  EXPECT_FALSE(app.getControlSystem().variable(EntityOwner::constant(-1.5)).isWritable());
}
