// Configurations no table can be built from stop the table generation's
// construction: a framed line on standard output and a logic_error with the
// message and the key that holds the value.
#include "ConfigurationLimits.h"
#include "TableGenerationStation.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

  using namespace tablegenerationtest;

  struct Case {
    const char* what;
    Settings settings;
    std::optional<std::string> line; // framed line on standard output; nullopt: start-up goes on
    std::string message;
    std::string key;
  };

  Settings with(auto change) {
    Settings s;
    change(s);
    return s;
  }

  TEST(TableGenerationStartUp, BadConfigurationsStopConstructionNamingTheirKey) {
    const Case cases[] = {
        {"pulse length 0", with([](Settings& s) { s.pulseLength = 0; }),
            " Pulse length in configuration is out of range: 0", "Pulse length in configuration is out of range.",
            "Configuration/pulseLength"},
        {"pulse length beyond the tables",
            with([](Settings& s) { s.pulseLength = ConfigurationLimits::maxPulseLength + 1; }),
            " Pulse length in configuration is out of range: " +
                std::to_string(ConfigurationLimits::maxPulseLength + 1),
            "Pulse length in configuration is out of range.", "Configuration/pulseLength"},
        {"pulse length 1", with([](Settings& s) { s.pulseLength = 1; }), std::nullopt, "", ""},
        {"largest pulse length", with([](Settings& s) { s.pulseLength = ConfigurationLimits::maxPulseLength; }),
            std::nullopt, "", ""},
        {"RF frequency 0.999", with([](Settings& s) { s.rfFrequency = "0.999"; }),
            " RF frequency is out of range: 0.999", "RF frequency is out of range.", "Configuration/rfFrequency"},
        {"RF frequency 1", with([](Settings& s) { s.rfFrequency = "1"; }), std::nullopt, "", ""},
        {"regions 0", with([](Settings& s) {
           s.perBunch = true;
           s.nMaxBeamRegions = 0;
         }),
            " nMaxBeamRegions must be an even, positive number: 0", "nMaxBeamRegions is invalid.",
            "Configuration/nMaxBeamRegions"},
        // the region check comes before the bunch check
        {"regions 3", with([](Settings& s) {
           s.perBunch = true;
           s.nMaxBeamRegions = 3;
           s.nMaxBunches = 0;
         }),
            " nMaxBeamRegions must be an even, positive number: 3", "nMaxBeamRegions is invalid.",
            "Configuration/nMaxBeamRegions"},
        {"regions 32", with([](Settings& s) {
           s.perBunch = true;
           s.nMaxBeamRegions = 32;
         }),
            " nMaxBeamRegions must be below 32: 32", "nMaxBeamRegions is invalid.", "Configuration/nMaxBeamRegions"},
        {"regions 30", with([](Settings& s) {
           s.perBunch = true;
           s.nMaxBeamRegions = 30;
         }),
            std::nullopt, "", ""},
        {"no bunch", with([](Settings& s) {
           s.perBunch = true;
           s.nMaxBunches = 0;
         }),
            " nMaxBunches out of range: 0", "nMaxBunches is invalid.", "Configuration/nMaxBunches"},
        {"bunches up to the end", with([](Settings& s) {
           s.perBunch = true;
           s.tZero = 60;
           s.nMaxBunches = 4;
         }),
            std::nullopt, "", ""},
        {"one bunch beyond", with([](Settings& s) {
           s.perBunch = true;
           s.tZero = 60;
           s.nMaxBunches = 5;
         }),
            " nMaxBunches out of range: 5", "nMaxBunches is invalid.", "Configuration/nMaxBunches"},
        // 32-bit arithmetic would wrap this sum to 3
        {"sum beyond 32 bits", with([](Settings& s) {
           s.perBunch = true;
           s.tZero = 4294967295u;
           s.nMaxBunches = 4;
         }),
            " nMaxBunches out of range: 4", "nMaxBunches is invalid.", "Configuration/nMaxBunches"},
        {"per-bunch values unchecked when off", with([](Settings& s) {
           s.nMaxBeamRegions = 3;
           s.nMaxBunches = 0;
         }),
            std::nullopt, "", ""},
    };
    for(const auto& c : cases) {
      SCOPED_TRACE(c.what);
      testing::internal::CaptureStdout();
      try {
        TableGenerationApp app(c.settings);
        const auto out = testing::internal::GetCapturedStdout();
        EXPECT_FALSE(c.line) << "construction went on";
        EXPECT_EQ(out, "");
      }
      catch(const Corvane::logic_error& e) {
        const auto out = testing::internal::GetCapturedStdout();
        ASSERT_TRUE(c.line) << e.what();
        const std::string frame(69, '*');
        EXPECT_EQ(out, frame + "\n" + *c.line + "\n" + frame + "\n");
        const std::string text = e.what();
        EXPECT_EQ(text.rfind(c.message, 0), 0u) << text;
        EXPECT_NE(text.find("key \"" + c.key + "\""), std::string::npos) << text;
        EXPECT_NE(text.find(instance + "_base_config.xml"), std::string::npos) << text;
      }
    }
  }

} // namespace
