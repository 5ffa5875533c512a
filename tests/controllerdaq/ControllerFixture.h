// A small controller application for the tests of this folder: the group "Controller" with a device module
// of the board's "/ToControlSystem" registers (read on "/Server/triggerNumber"), the set-point, vector-sum
// and error DAQ channels, the amplitude and phase error monitor, the enables, the status filters, the
// output limit and both coefficient sets, at the paths the station's controller tree gives them. The dummy
// board's register map (only the registers these modules meet), the device map and the configuration file
// are written into the working directory under the instance name. Settings that other modules of the
// station publish (bit scaling, sampling position, flat-top) are fed by the test.
#pragma once

#include "AmplitudePhaseError.h"
#include "BbfStatus.h"
#include "ControllerChannel.h"
#include "ControllerCoefficients.h"
#include "ControllerEnable.h"
#include "InhibitAlgos.h"
#include "MaximumOutput.h"

#include <Corvane/Application.h>
#include <Corvane/BackendFactory.h>
#include <Corvane/ConfigReader.h>
#include <Corvane/DeviceModule.h>
#include <Corvane/DummyBackend.h>
#include <Corvane/ModuleGroup.h>
#include <Corvane/SetDMapFilePath.h>
#include <Corvane/TestFacility.h>

#include <cstdint>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace controllerdaq {

  struct Settings {
    std::string name{"controllerdaq"};
    std::uint32_t pulseLength{8};
    bool statistics{true};
    /// "Configuration/nMaxBeamRegions"; left out of the file when empty.
    std::optional<std::uint32_t> nMaxBeamRegions{4};
  };

  inline const std::string setPoint = "/Controller/SetPoint/DAQ/";
  inline const std::string vectorSum = "/Controller/VectorSum/DAQ/";
  inline const std::string error = "/Controller/Error/DAQ/";

  inline std::string writeFiles(const Settings& s) {
    std::ofstream map(s.name + ".map");
    map << "# name n address bytes bar width frac signed access\n";
    std::uint64_t address = 0;
    auto add = [&](const std::string& name, std::size_t n, const std::string& format) {
      map << "ToControlSystem.Controller." << name << " " << n << " " << address << " " << 4 * n << " 0 " << format
          << "\n";
      address += 4 * n;
    };
    for(const char* channel : {"SetPoint", "VectorSum", "Error"}) {
      add(std::string(channel) + ".DAQ.I", s.pulseLength, "32 IEEE754 1 RO");
      add(std::string(channel) + ".DAQ.Q", s.pulseLength, "32 IEEE754 1 RO");
    }
    add("Status.controllerStatus", 1, "32 0 0 RO");
    add("FeedForward.enable_actual", 1, "1 0 0 RW");
    add("FeedBack.enable_actual", 1, "1 0 0 RW");
    add("FeedBack.limitI", 1, "32 0 1 RW");
    add("FeedBack.limitQ", 1, "32 0 1 RW");
    for(const char* set : {"MimoCoefficients", "SmithCoefficients"}) {
      for(const char* element : {"11", "12", "21", "22"}) {
        add(std::string("FeedBack.") + set + ".A" + element, 2, "32 IEEE754 1 RW");
        add(std::string("FeedBack.") + set + ".B" + element, 3, "32 IEEE754 1 RW");
      }
      add(std::string("FeedBack.") + set + ".valid", 1, "1 0 0 RW");
    }
    std::ofstream(s.name + ".dmap") << "Controller (dummy:" << s.name << "?map=" << s.name << ".map)\n";
    std::ofstream config(s.name + "_base_config.xml");
    config << "<configuration><module name=\"Configuration\">\n"
           << "<variable name=\"pulseLength\" type=\"uint32\" value=\"" << s.pulseLength << "\"/>\n"
           << "<variable name=\"enableControllerChannelStatistics\" type=\"boolean\" value=\""
           << (s.statistics ? "true" : "false") << "\"/>\n";
    if(s.nMaxBeamRegions) {
      config << "<variable name=\"nMaxBeamRegions\" type=\"uint32\" value=\"" << *s.nMaxBeamRegions << "\"/>\n";
    }
    config << "</module></configuration>\n";
    return s.name + ".dmap";
  }

  struct ControllerApp : Corvane::Application {
    explicit ControllerApp(const Settings& s = {})
    : Corvane::Application(s.name), dmap(writeFiles(s)), config(this, ".", s.name + "_base_config.xml") {}

    Corvane::SetDMapFilePath dmap;
    Corvane::ConfigReader config;
    Corvane::DeviceModule device{this, "Controller", "/Server/triggerNumber", {}, "/ToControlSystem"};
    Corvane::ModuleGroup controller{this, "Controller", "RF Controller"};
    ControllerChannel setPointDaq{&controller, "SetPoint/DAQ", "DAQ data from FPGA controller", true, true};
    ControllerChannel vectorSumDaq{&controller, "VectorSum/DAQ", "DAQ data from FPGA controller", true, true};
    ControllerChannel errorDaq{&controller, "Error/DAQ", "DAQ data from FPGA controller", false, false};
    AmplitudePhaseError amplitudePhaseError{&controller, "AmplitudePhaseError", "Averaged error of amplitude and phase"};
    ControllerEnable enable{&controller, ".", ""};
    InhibitAlgos inhibitAlgos{
        &controller, "Status", "Filtered overall status used to detect when algorithms like OVC and LFF should not run."};
    BbfStatus bbfStatus{&controller, "Status", ""};
    MaximumOutput maximumOutput{&controller, "FeedBack", "Maxmimum controller output"};
    ControllerCoefficients mimoCoefficients{
        &controller, "FeedBack/MimoCoefficients", "Coefficients for the MIMO controller"};
    ControllerCoefficients smithCoefficients{
        &controller, "FeedBack/SmithCoefficients", "Coefficients for the Smith predictor"};
  };

  inline std::shared_ptr<Corvane::DummyBackend> board() {
    return std::dynamic_pointer_cast<Corvane::DummyBackend>(
        Corvane::BackendFactory::getInstance().findBackend("Controller"));
  }

  /// The application under test with its facility; the station's settings preset to plain values: bit
  /// scaling 1, no bit shift, zero-phase threshold 1, sampling position 2 at 1 MHz, flat-top 2 to 5.
  struct RunningController {
    explicit RunningController(const Settings& settings = {}) : app(settings), test(app) {
      test.setScalarDefault<double>("/Configuration/bitScaling", 1.0);
      test.setScalarDefault<std::uint8_t>("/Configuration/vectorSumBitShift", 0);
      test.setScalarDefault<double>("/Configuration/zeroPhaseThreshold", 1.0);
      test.setScalarDefault<double>("/Configuration/samplingFrequency", 1.0);
      test.setScalarDefault<std::uint32_t>("/Configuration/SamplingPosition/index", 2);
      test.setScalarDefault<std::uint32_t>("/Configuration/flattopBeginIndex", 2);
      test.setScalarDefault<std::uint32_t>("/Configuration/flattopEndIndex", 5);
    }

    void start() {
      test.runApplication();
      dummy = board();
    }

    /// Puts the traces into a channel's registers ("SetPoint", "VectorSum", "Error").
    void setTraces(const std::string& channel, const std::vector<float>& i, const std::vector<float>& q) {
      dummy->setRegister<float>("ToControlSystem.Controller." + channel + ".DAQ.I", i);
      dummy->setRegister<float>("ToControlSystem.Controller." + channel + ".DAQ.Q", q);
    }

    /// One macro-pulse: the board's registers are read and every module has done its work.
    Corvane::VersionNumber pulse() {
      Corvane::VersionNumber version;
      test.writeScalar<std::int64_t>("/Server/triggerNumber", ++triggers, version);
      test.stepApplication();
      return version;
    }

    float scalar(const std::string& path) { return test.readScalar<float>(path); }
    std::vector<float> array(const std::string& path) { return test.readArray<float>(path); }

    ControllerApp app;
    Corvane::TestFacility test;
    std::shared_ptr<Corvane::DummyBackend> dummy;
    std::int64_t triggers{0};
  };

} // namespace controllerdaq
