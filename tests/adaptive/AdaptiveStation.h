// Test applications of the learning feed-forward and of the beam loading compensation: each module (group) alone
// with a configuration file of its own, the test in the place of the operators, the controller tree and the table
// generation.
#pragma once

#include "BeamLoadingCompensation.h"
#include "LearningFeedForward.h"

#include <Corvane/Application.h>
#include <Corvane/ConfigReader.h>
#include <Corvane/LogCapture.h>
#include <Corvane/TemporaryDirectory.h>
#include <Corvane/TestFacility.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace adaptivetest {

  using Corvane::Boolean;

  inline const std::string lff = "/LearningFeedForward/";
  inline const std::string tableI = "/Controller/FeedForward/Correction/LearningFeedForward/I";
  inline const std::string tableQ = "/Controller/FeedForward/Correction/LearningFeedForward/Q";
  inline const std::string blc = "/BeamLoadingCompensation/";
  inline const std::string pulseShape = "/Controller/PulseShape/";

  /// A configuration file in a temporary directory with the keys these modules read.
  struct StationConfig {
    StationConfig(std::uint32_t pulseLength, std::int32_t instanceType) {
      std::ofstream(file) << "<configuration><module name=\"Configuration\">\n"
                          << "<variable name=\"pulseLength\" type=\"uint32\" value=\"" << pulseLength << "\"/>\n"
                          << "<variable name=\"instanceType\" type=\"int32\" value=\"" << instanceType << "\"/>\n"
                          << "<variable name=\"IQdetectionLength\" type=\"uint32\" value=\"9\"/>\n"
                          << "<variable name=\"clockFrequency\" type=\"double\" value=\"81.25\"/>\n"
                          << "</module></configuration>\n";
    }
    Corvane::TemporaryDirectory directory{"adaptivetest"};
    std::string file{directory.file("adaptivetest_base_config.xml")};
  };

  struct LearningApp : Corvane::Application {
    LearningApp(std::uint32_t pulseLength, std::int32_t instanceType)
    : Corvane::Application("lfftest"),
      files(pulseLength, instanceType) {}
    StationConfig files;
    Corvane::ConfigReader config{this, ".", files.file};
    LearningFeedForward learning{this, ".", ""};
  };

  struct CompensationApp : Corvane::Application {
    explicit CompensationApp(std::int32_t instanceType) : Corvane::Application("blctest"), files(16, instanceType) {}
    StationConfig files;
    Corvane::ConfigReader config{this, ".", files.file};
    BeamLoadingCompensation compensation{this, "BeamLoadingCompensation", ""};
  };

  /// A running application with its facility and a capture of the log.
  template<class App>
  struct Running {
    template<class... Args>
    explicit Running(Args... args) : app(args...),
                                     test(app) {}

    template<class T>
    void write(const std::string& path, T value) {
      test.writeScalar<T>(path, value);
      test.stepApplication();
    }
    template<class T>
    T read(const std::string& path) {
      return test.readScalar<T>(path);
    }
    std::size_t warnings() {
      const auto messages = log.messages();
      return std::count_if(messages.begin(), messages.end(),
          [](const Corvane::Logger::Message& m) { return m.severity == Corvane::Logger::Severity::warning; });
    }

    Corvane::LogCapture log;
    App app;
    Corvane::TestFacility test;
  };

} // namespace adaptivetest
