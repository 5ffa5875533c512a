// A small application for the adapter's unit tests: control-system-fed settings of every kind
// the adapter handles, one output and one status that react, a trigger, a large table, a Void command
// and a command input.
#pragma once

#include <Corvane/Corvane.h>
#include <Corvane/StatusOutput.h>
#include <Corvane/TestFacility.h>
#include <Corvane/VariableTags.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace CsTest {

  using namespace Corvane;

  struct Settings : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPushInputWB<double> gain{this, "/S/gain", "dB", "gain"};
    ScalarPushInput<std::int32_t> mode{this, "/S/mode", "", "mode"};
    ScalarPushInput<std::uint8_t> small{this, "/S/small", "", "a byte"};
    ScalarPushInput<std::int64_t> wide{this, "/S/wide", "", "a 64-bit integer"};
    ScalarPushInput<std::uint64_t> count{this, "/S/count", "", "a 64-bit count"};
    ScalarPushInput<float> level{this, "/S/level", "", "a float"};
    ScalarPushInput<Boolean> flag{this, "/S/flag", "", "a flag"};
    ScalarPushInput<std::string> text{this, "/S/text", "", "a text"};
    ArrayPushInput<float> table{this, "/S/table", "", 4, "a table"};
    ArrayPushInput<double> big{this, "/S/big", "", 2048, "a large table"};
    ScalarPushInput<std::int32_t> secret{this, "/S/secret", "", "not persisted", {"_Corvane_notPersisted"}};
    ScalarPushInput<std::uint64_t> trigger{this, "/Server/triggerNumber", "", "trigger"};
    VoidInput poke{this, "/S/poke", "", "a command"};
    ScalarPushInput<double> rotateBy{this, "/S/rotateBy", "deg", "a command with a value", {Tags::command}};
    ScalarOutput<double> doubled{this, "/R/doubled", "dB", "twice the gain"};
    StatusOutput gainStatus{this, "/R/gainStatus", "WARNING while the gain is negative"};

    void mainLoop() override {
      auto group = readAnyGroup();
      while(true) {
        doubled.setAndWrite(2 * gain);
        gainStatus.setAndWrite(gain < 0 ? StatusOutput::WARNING : StatusOutput::OK);
        group.readAny();
      }
    }
  };

  /// With a configuration file when `configFile` is not empty.
  struct App : Application {
    explicit App(const std::string& configFile = {}) : Application("cstest") {
      if(!configFile.empty()) config = std::make_unique<ConfigReader>(this, ".", configFile);
    }
    std::unique_ptr<ConfigReader> config;
    Settings settings{this, "Settings", "settings"};
  };

  /// A fresh directory below the system's temporary directory, removed at the end.
  struct TemporaryDirectory {
    TemporaryDirectory() {
      auto pattern = (std::filesystem::temp_directory_path() / "corvane-cs-XXXXXX").string();
      path = mkdtemp(pattern.data());
    }
    ~TemporaryDirectory() {
      std::error_code ec;
      std::filesystem::remove_all(path, ec);
    }
    std::string write(const std::string& name, const std::string& content) const {
      auto file = path / name;
      std::ofstream(file) << content;
      return file.string();
    }
    std::filesystem::path path;
  };

} // namespace CsTest
