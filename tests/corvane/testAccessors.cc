// Accessor operations: destructive writes to several readers, writeIfDifferent, read-any
// variants, readLatest, write-back of groups, preparation order, the module logger and what each
// named accessor kind registers.
#include <Corvane/Corvane.h>
#include <Corvane/TestFacility.h>
#include <gtest/gtest.h>

#include <limits>

using namespace Corvane;

namespace {

  struct ArrayWriter : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPushInput<int> fill{this, "/fill", "", ""};
    ArrayOutput<float> data{this, "/data", "", 4, ""};
    ScalarOutput<int> sameWrites{this, "/sameWrites", "", ""};
    ScalarOutput<int> flag{this, "/flag", "", ""};
    void mainLoop() override {
      int attempts = 0;
      while(true) {
        for(std::size_t i = 0; i < data.size(); ++i) data[i] = float(fill) + float(i);
        data.writeDestructively();
        // the same value twice: one write only
        flag.writeIfDifferent(fill > 0 ? 1 : 0);
        flag.writeIfDifferent(fill > 0 ? 1 : 0);
        sameWrites.setAndWrite(++attempts);
        fill.read();
      }
    }
  };

  struct ArrayReader : ApplicationModule {
    ArrayReader(Module* owner, const std::string& name) : ApplicationModule(owner, name, "") {
      sum = ScalarOutput<float>(this, "sum", "", "");
    }
    ArrayPushInput<float> data{this, "/data", "", 4, ""};
    ScalarOutput<float> sum;
    void mainLoop() override {
      while(true) {
        float s = 0;
        for(auto v : data) s += v;
        sum.setAndWrite(s);
        data[0] = -1000; // a reader's changes never reach the other readers
        data.read();
      }
    }
  };

  struct ArrayApp : Application {
    ArrayApp() : Application("arrays") {}
    ArrayWriter writer{this, "Writer", ""};
    ArrayReader a{this, "A"};
    ArrayReader b{this, "B"};
  };

} // namespace

TEST(Accessors, DestructiveWriteGivesEveryReaderItsOwnCopy) {
  ArrayApp app;
  TestFacility test(app);
  test.runApplication();
  for(int fill : {1, 2, 5}) {
    test.writeScalar<int>("/fill", fill);
    test.stepApplication();
    float expected = 4.f * float(fill) + 6.f;
    EXPECT_FLOAT_EQ(test.readScalar<float>("/A/sum"), expected);
    EXPECT_FLOAT_EQ(test.readScalar<float>("/B/sum"), expected);
    EXPECT_EQ(test.readArray<float>("/data"), (std::vector<float>{float(fill), fill + 1.f, fill + 2.f, fill + 3.f}));
  }
  // "/flag" went 0 (first write) and 1 (on fill 1) only
  EXPECT_EQ(test.updateCount("/flag"), 2u);
  EXPECT_EQ(test.updateCount("/sameWrites"), 4u);
}

namespace {
  struct Selective : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPushInput<int> a{this, "/a", "", ""};
    ScalarPushInput<int> b{this, "/b", "", ""};
    ScalarPushInput<int> c{this, "/c", "", ""};
    ScalarPushInput<int> mode{this, "/mode", "", ""};
    ScalarOutput<int> result{this, "/result", "", ""};
    ScalarOutput<int> pending{this, "/pending", "", ""};
    void mainLoop() override {
      ReadAnyGroup group{a, b, c};
      while(true) {
        mode.read();
        if(mode == 1) {
          group.readUntil(c.getId()); // consumes a and b on the way
          result.setAndWrite(a + b + c);
        }
        else if(mode == 2) {
          group.readUntilAll({a.getId(), b.getId()});
          result.setAndWrite(a * b);
        }
        else if(mode == 3) {
          int n = 0;
          while(group.readAnyNonBlocking().isValid()) ++n;
          pending.setAndWrite(n);
        }
        else if(mode == 4) {
          result.setAndWrite(a.readLatest() ? a : -1);
        }
      }
    }
  };
  struct SelectiveApp : Application {
    SelectiveApp() : Application("selective") {}
    Selective module{this, "Selective", ""};
  };
} // namespace

TEST(Accessors, ReadAnyVariants) {
  SelectiveApp app;
  TestFacility test(app);
  test.runApplication();

  test.writeScalar<int>("/mode", 1);
  test.writeScalar<int>("/a", 1);
  test.writeScalar<int>("/b", 2);
  test.stepApplication();
  EXPECT_EQ(test.updateCount("/result"), 0u); // still waiting for c
  test.writeScalar<int>("/c", 3);
  test.stepApplication();
  EXPECT_EQ(test.readScalar<int>("/result"), 6);

  test.writeScalar<int>("/mode", 2);
  test.writeScalar<int>("/b", 5);
  test.stepApplication();
  test.writeScalar<int>("/c", 9);
  test.writeScalar<int>("/a", 4);
  test.stepApplication();
  EXPECT_EQ(test.readScalar<int>("/result"), 20);

  test.writeScalar<int>("/a", 1);
  test.writeScalar<int>("/a", 2);
  test.writeScalar<int>("/c", 3);
  test.writeScalar<int>("/mode", 3);
  test.stepApplication();
  EXPECT_EQ(test.readScalar<int>("/pending"), 3);
  EXPECT_FALSE(test.updateCount("/pending") == 0);

  test.writeScalar<int>("/a", 7);
  test.writeScalar<int>("/a", 8);
  test.writeScalar<int>("/mode", 4);
  test.stepApplication();
  EXPECT_EQ(test.readScalar<int>("/result"), 8); // readLatest keeps the newest
}

namespace {
  struct Ordered : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    struct Step : VariableGroup {
      using VariableGroup::VariableGroup;
      std::vector<std::string>* order{nullptr};
      void prepare() override { order->push_back(getName()); }
    };
    Step first{this, "First", ""};
    Step second{this, "Second", ""};
    std::vector<std::string> order;
    void prepare() override {
      first.order = second.order = &order;
      order.push_back("module");
      prepareGroup(second); // the module chooses the order of its groups
    }
    void mainLoop() override { logger(Logger::Severity::info) << "running"; }
  };
  struct OrderApp : Application {
    OrderApp() : Application("order") {}
    Ordered module{this, "Ordered", ""};
  };
} // namespace

TEST(Accessors, PrepareRunsOncePerGroupAndLoggerNamesTheClass) {
  std::vector<std::string> sources;
  Logger::instance().setSink([&](const std::string&, const Logger::Message& m) { sources.push_back(m.source); });
  {
    OrderApp app;
    TestFacility test(app);
    test.runApplication();
    EXPECT_EQ(app.module.order, (std::vector<std::string>{"module", "Second", "First"}));
  }
  Logger::instance().flush();
  Logger::instance().setSink({});
  EXPECT_NE(std::find(sources.begin(), sources.end(), "Ordered"), sources.end());
}

namespace {
  /// One accessor of every named kind, to compare what each registers.
  struct EveryKind : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPushInput<int> scalarPush{this, "scalarPush", "", ""};
    ScalarPollInput<int> scalarPoll{this, "scalarPoll", "", ""};
    ScalarPushInputWB<int> scalarPushWB{this, "scalarPushWB", "", ""};
    ScalarOutput<int> scalarOutput{this, "scalarOutput", "", ""};
    ScalarOutputPushRB<int> scalarOutputRB{this, "scalarOutputRB", "", ""};
    ArrayPushInput<int> arrayPush{this, "arrayPush", "", 2, ""};
    ArrayPollInput<int> arrayPoll{this, "arrayPoll", "", 2, ""};
    ArrayPushInputWB<int> arrayPushWB{this, "arrayPushWB", "", 2, ""};
    ArrayOutput<int> arrayOutput{this, "arrayOutput", "", 2, ""};
    ArrayOutputPushRB<int> arrayOutputRB{this, "arrayOutputRB", "", 2, ""};
    void mainLoop() override {}
  };
  struct EveryKindApp : Application {
    EveryKindApp() : Application("kinds") {}
    EveryKind module{this, "Module", ""};
  };
} // namespace

TEST(Accessors, EachNamedKindRegistersItsDirectionAndUpdateMode) {
  EveryKindApp app;
  auto& m = app.module;
  struct Expected {
    detail::AccessorNode* node;
    bool feeding;
    bool withReturn;
    UpdateMode mode;
  };
  const std::vector<Expected> cases{
      {m.scalarPush.accessorNode(), false, false, UpdateMode::push},
      {m.scalarPoll.accessorNode(), false, false, UpdateMode::poll},
      {m.scalarPushWB.accessorNode(), false, true, UpdateMode::push},
      {m.scalarOutput.accessorNode(), true, false, UpdateMode::push},
      {m.scalarOutputRB.accessorNode(), true, true, UpdateMode::push},
      {m.arrayPush.accessorNode(), false, false, UpdateMode::push},
      {m.arrayPoll.accessorNode(), false, false, UpdateMode::poll},
      {m.arrayPushWB.accessorNode(), false, true, UpdateMode::push},
      {m.arrayOutput.accessorNode(), true, false, UpdateMode::push},
      {m.arrayOutputRB.accessorNode(), true, true, UpdateMode::push},
  };
  for(const auto& expected : cases) {
    SCOPED_TRACE(expected.node->name);
    EXPECT_EQ(expected.node->direction.dir == VariableDirection::feeding, expected.feeding);
    EXPECT_EQ(expected.node->direction.dir == VariableDirection::consuming, !expected.feeding);
    EXPECT_EQ(expected.node->direction.withReturn, expected.withReturn);
    EXPECT_EQ(expected.node->mode, expected.mode);
  }
  EXPECT_EQ(m.arrayPoll.getNElements(), 2U);
}

namespace {
  /// Forwards its input table with writeIfDifferent; "/faulty" sets the output's validity.
  struct TableForwarder : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ArrayPushInput<double> in{this, "/in", "", 3, ""};
    ScalarPushInput<int> faulty{this, "/faulty", "", ""};
    ArrayOutput<double> out{this, "/out", "", 3, ""};
    ArrayOutput<int> counts{this, "/counts", "", 2, ""};
    void mainLoop() override {
      auto group = readAnyGroup();
      while(true) {
        out.setDataValidity(faulty != 0 ? DataValidity::faulty : DataValidity::ok);
        out.writeIfDifferent(in.value());
        counts.writeIfDifferent({in[0] > 0 ? 1 : 0, 7});
        group.readAny();
      }
    }
  };
  struct TableForwarderApp : Application {
    TableForwarderApp() : Application("forwarder") {}
    TableForwarder module{this, "Forwarder", ""};
  };
} // namespace

TEST(Accessors, ArrayWriteIfDifferentSendsOnlyChangedTables) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    std::vector<double> in;
    int faulty;
    std::uint64_t outWrites; // new values of "/out" after this step
  };
  // applied in order, each against what the one before left; -0.0 equals 0.0 as a number
  const Case cases[] = {{{0, 0, 0}, 0, 0}, {{0, 0, 1}, 0, 1}, {{0, 0, 1}, 0, 0}, {{nan, 0, 1}, 0, 1},
      {{nan, 0, 1}, 0, 0}, {{-0.0, 0, 1}, 0, 1}, {{0, 0, 1}, 0, 0}, {{0, 0, 1}, 1, 1}, {{0, 0, 1}, 1, 0},
      {{0, 0, 1}, 0, 1}};
  TableForwarderApp app;
  TestFacility test(app);
  test.runApplication();
  EXPECT_EQ(test.updateCount("/out"), 1u); // the first write always goes out
  for(const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.in) + " faulty " + std::to_string(c.faulty));
    const auto before = test.updateCount("/out");
    test.writeArray<double>("/in", c.in);
    test.writeScalar<int>("/faulty", c.faulty);
    test.stepApplication();
    EXPECT_EQ(test.updateCount("/out") - before, c.outWrites);
    EXPECT_EQ(test.getValidity("/out"), c.faulty ? DataValidity::faulty : DataValidity::ok);
  }
  const auto last = test.readArray<double>("/out");
  EXPECT_EQ(last, (std::vector<double>{0, 0, 1}));
  // integer tables: one write for the first value, none for its repeats
  EXPECT_EQ(test.updateCount("/counts"), 1u);
  EXPECT_EQ(test.readArray<int>("/counts"), (std::vector<int>{0, 7}));
}
