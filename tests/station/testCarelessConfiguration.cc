// Both programs on copies of the simulated station with one careless change each: every one ends
// start-up at once with exit status 1 and a message naming the file (and the key and register
// where there is one), without a crash, a hang or gigabytes allocated; and both programs answer
// --help and unknown arguments with their usage.
#include "ProgramRun.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using station::ScratchDirectory;

namespace {

  /// One careless change: in `file`, `from` replaced by `to`; an empty `from` replaces the whole
  /// file, and `to` == "FIFO" makes it a named pipe.
  struct BadFile {
    const char* what;
    std::string file;
    std::string from;
    std::string to;
    std::vector<std::string> fragments;
  };

  std::string nChannels(const std::string& value) {
    return R"(<variable name="nChannels" type="uint32" value=")" + value + R"("/>)";
  }
  std::string uint32Key(const std::string& name, const std::string& value) {
    return R"(<variable name=")" + name + R"(" type="uint32" value=")" + value + R"("/>)";
  }

  const std::string configFile = "tessarel_base_config.xml";

  std::vector<BadFile> badFiles() {
    return {
        {"the controller given the ADC board's map", "tessarel.dmap", "ctrl?map=controller.map", "ctrl?map=adc.map",
            {"tessarel.dmap:", R"(device "Controller": register BSP.WORD_RESET_N not found in register map)",
                "adc.map"}},
        {"an empty register map", "adc.map", "", "", {"Device Adc0 has no registers below", "adc.map"}},
        {"a register map of comments only", "adc.map", "", "# nothing\n# at all\n",
            {"Device Adc0 has no registers below", "adc.map"}},
        {"more channels than the map has", configFile, nChannels("4"), nChannels("5"),
            {configFile + ":", R"(key "Configuration/AdcBoard0/nChannels" is 5)", "adc.map",
                "/Adc/Channel4/daqErrorCounter"}},
        {"an absurd channel count", configFile, nChannels("4"), nChannels("100000"),
            {configFile + ":", R"(key "Configuration/AdcBoard0/nChannels" is 100000, outside 0..64)"}},
        {"no channel", configFile, nChannels("4"), nChannels("0"),
            {configFile + ":", R"(key "Configuration/AdcBoard0/nChannels" is 0)"}},
        {"a pulse length the map does not have", configFile, uint32Key("pulseLength", "2048"),
            uint32Key("pulseLength", "100000"),
            {configFile + ":", R"(key "Configuration/pulseLength" is 100000)",
                "/NormalDataMode/Channel0/amplitudeUncalibrated", "2048 elements", "adc.map:"}},
        {"an absurd pulse length", configFile, uint32Key("pulseLength", "2048"), uint32Key("pulseLength", "4000000000"),
            {configFile + ":", R"(key "Configuration/pulseLength" is 4000000000, outside 1..1048576)"}},
        {"a calibration table size the map does not have", configFile, uint32Key("nSinCosTableSize", "16"),
            uint32Key("nSinCosTableSize", "17"),
            {configFile + ":", R"(key "Configuration/nSinCosTableSize" is 17)", "/Adc/Channel0/Calibration/sineTable"}},
        {"an absurd board count", configFile, uint32Key("nAdcBoards", "1"), uint32Key("nAdcBoards", "100000"),
            {configFile + ":", R"(key "Configuration/nAdcBoards" is 100000, outside 0..16)"}},
        {"more boards than the device map has", configFile, uint32Key("nAdcBoards", "1"),
            uint32Key("nAdcBoards", "2") + R"(<module name="AdcBoard1">)" + nChannels("4") + "</module>",
            {configFile + ":",
                R"(key "Configuration/nAdcBoards" is 2, but the device map tessarel.dmap has no device Adc1)"}},
        {"a raw decimation of 0", configFile, uint32Key("rawAdcDecimation", "1"), uint32Key("rawAdcDecimation", "0"),
            {configFile + ":", R"(key "Configuration/rawAdcDecimation" is 0)"}},
        {"a device file as register map", "tessarel.dmap", "map=adc.map", "map=/dev/zero",
            {R"(register map file "/dev/zero" is not a regular file)"}},
        {"a register far out", "adc.map", "0x0162b0", "0x80000000",
            {"MiB a dummy device holds", "/RawDataMode/Channel3/rawSamples", "adc.map:"}},
        {"a pipe as configuration file", configFile, "", "FIFO",
            {R"(configuration file "tessarel_base_config.xml" is not a regular file)"}},
    };
  }

  void makeBad(const ScratchDirectory& dir, const BadFile& bad) {
    auto path = dir.path() / bad.file;
    if(bad.to == "FIFO") {
      std::filesystem::remove(path);
      ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    }
    else if(bad.from.empty()) {
      std::ofstream(path, std::ios::trunc) << bad.to;
    }
    else {
      dir.edit(bad.file, bad.from, bad.to);
    }
  }

  void expectRefusal(const station::ProgramResult& run, const BadFile& bad) {
    EXPECT_EQ(run.exitStatus, 1) << run.out << run.err;
    for(auto& fragment : bad.fragments) {
      EXPECT_NE(run.err.find(fragment), std::string::npos) << fragment << "\n" << run.err;
    }
  }

  TEST(CarelessConfiguration, TheGeneratorRefusesEachBadFileNamingIt) {
    for(auto& bad : badFiles()) {
      SCOPED_TRACE(bad.what);
      ScratchDirectory dir("tessarel-careless");
      dir.copySimulatedStation();
      makeBad(dir, bad);
      expectRefusal(station::runIn(dir.path(), "timeout 30 " TESSAREL_XMLGEN), bad);
      EXPECT_FALSE(std::filesystem::exists(dir.path() / "tessarel.xml"));
    }
  }

  TEST(CarelessConfiguration, TheServerRefusesEachBadFileNamingIt) {
    for(auto& bad : badFiles()) {
      SCOPED_TRACE(bad.what);
      ScratchDirectory dir("tessarel-careless");
      dir.copySimulatedStation();
      makeBad(dir, bad);
      expectRefusal(station::runIn(dir.path(), "timeout 30 " TESSAREL_SERVER " --listen 127.0.0.1:0"), bad);
    }
  }

  // The clock settings are checked when the server prepares its modules; the generator, which
  // prepares none, lists the variables of such a configuration.
  TEST(CarelessConfiguration, TheServerNamesTheFileOfClockSettingsOutOfRange) {
    const BadFile bad{"an IQ detection length of 0", configFile, uint32Key("IQdetectionLength", "9"),
        uint32Key("IQdetectionLength", "0"),
        {" iQdetectionLength must be non-zero", "Configuration/IQdetectionLength", "of " + configFile + ")"}};
    ScratchDirectory dir("tessarel-careless");
    dir.copySimulatedStation();
    makeBad(dir, bad);
    expectRefusal(station::runIn(dir.path(), "timeout 30 " TESSAREL_SERVER " --listen 127.0.0.1:0"), bad);
  }

  TEST(CarelessConfiguration, BothProgramsAnswerHelpAndUnknownArgumentsWithTheirUsage) {
    struct Case {
      const char* program;
      const char* arguments;
      bool station;
      int exitStatus;
      bool usageOnStdout;
    };
    const Case cases[] = {{TESSAREL_XMLGEN, "--help", false, 0, true}, {TESSAREL_XMLGEN, "-h", true, 0, true},
        {TESSAREL_XMLGEN, "--output x", true, 1, false}, {TESSAREL_SERVER, "--help", false, 0, true},
        {TESSAREL_SERVER, "--bogus", true, 1, false}};
    for(auto& c : cases) {
      SCOPED_TRACE(std::string(c.program) + " " + c.arguments);
      ScratchDirectory dir("tessarel-usage");
      if(c.station) dir.copySimulatedStation();
      auto run = station::runIn(dir.path(), std::string("timeout 30 ") + c.program + " " + c.arguments);
      EXPECT_EQ(run.exitStatus, c.exitStatus) << run.out << run.err;
      if(c.usageOnStdout) {
        EXPECT_EQ(run.out.rfind(station::backendRegistrationLine + "Usage: tessarel_", 0), 0u) << run.out << run.err;
      }
      else {
        // the refused argument is named, then the usage follows
        const std::string refused = std::string(c.arguments).substr(0, std::string(c.arguments).find(' '));
        EXPECT_NE(run.err.find("\"" + refused + "\""), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("Usage: tessarel_"), std::string::npos) << run.err;
      }
      // neither the generator's files nor anything else is written
      EXPECT_FALSE(std::filesystem::exists(dir.path() / "tessarel.xml"));
      EXPECT_FALSE(std::filesystem::exists(dir.path() / "tessarel.dot"));
    }
  }

} // namespace
