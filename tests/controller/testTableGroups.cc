// The controller's table groups as variables: I/Q tables in digits, the buffered table's selects and current
// buffers, amplitude/phase traces tagged "DAQ", all of "Configuration/pulseLength" elements; and the
// amplitude/phase placeholder, whose arrays have that length but belong to no variable.
#include "BufferedTable.h"
#include "ControllerStation.h"
#include "TableAP.h"
#include "TableIQ.h"

#include <gtest/gtest.h>

using namespace controllertest;

namespace {

  struct Tables : Corvane::ApplicationModule {
    using Corvane::ApplicationModule::ApplicationModule;
    void mainLoop() override {}
    TableAP trace{this, ".", ""};
    TableAP placeholder;
    TableIQ<int> correction{this, "Correction/Total", ""};
    BufferedTable<double> buffered{this, "Table", ""};
  };

  struct TablesApp : Corvane::Application {
    TablesApp() : Corvane::Application("tablegroups") {}
    std::string files{writeStation("tablegroups", 1, 0)}; // the configuration, before it is read
    Corvane::ConfigReader config{this, ".", "tablegroups_base_config.xml"};
    Tables tables{this, "Channel", ""};
  };

  TEST(TableGroups, VariablesHaveTheirTypesUnitsLengthsAndTags) {
    TablesApp app;
    Corvane::TestFacility test(app);
    test.runApplication();
    struct Case {
      std::string path;
      Corvane::DataType type;
      std::size_t nElements;
      std::string unit, description;
      bool daq;
    };
    using Corvane::DataType;
    const Case cases[] = {{"/Channel/amplitude", DataType::float32, pulseLength, "G.U.", "Amplitude", true},
        {"/Channel/phase", DataType::float32, pulseLength, "deg", "Phase", true},
        {"/Channel/Correction/Total/I", DataType::int32, pulseLength, "digits", "I", false},
        {"/Channel/Correction/Total/Q", DataType::int32, pulseLength, "digits", "Q", false},
        {"/Channel/Table/I", DataType::float64, pulseLength, "digits", "I", false},
        {"/Channel/Table/Q", DataType::float64, pulseLength, "digits", "Q", false},
        {"/Channel/Table/bufferSelectI", DataType::int32, 1, "", "Select FW buffer", false},
        {"/Channel/Table/bufferSelectQ", DataType::int32, 1, "", "Select FW buffer", false},
        {"/Channel/Table/bufferCurrentI", DataType::int32, 1, "", "Current FW buffer", false},
        {"/Channel/Table/bufferCurrentQ", DataType::int32, 1, "", "Current FW buffer", false}};
    auto& cs = app.getControlSystem();
    for(const auto& c : cases) {
      SCOPED_TRACE(c.path);
      ASSERT_TRUE(cs.has(c.path));
      auto& variable = cs.variable(c.path);
      EXPECT_EQ(variable.type(), c.type);
      EXPECT_EQ(variable.nElements(), c.nElements);
      EXPECT_EQ(variable.unit(), c.unit);
      EXPECT_EQ(variable.description(), c.description);
      EXPECT_EQ(variable.tags().count("DAQ"), c.daq ? 1u : 0u);
    }
    // the placeholder's arrays are sized but publish nothing beside the real trace
    EXPECT_EQ(app.tables.placeholder.amplitude.size(), pulseLength);
    EXPECT_EQ(app.tables.placeholder.phase.size(), pulseLength);
    EXPECT_FALSE(app.tables.placeholder.hasOwner());
    std::size_t amplitudes = 0;
    for(const auto& [path, variable] : cs.variables()) amplitudes += path.ends_with("/amplitude");
    EXPECT_EQ(amplitudes, 1u);
  }

} // namespace
