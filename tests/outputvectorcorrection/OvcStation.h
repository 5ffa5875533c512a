// The output vector correction alone in a test application, with the test in the place of the controller, the
// vector sum, the pulse shape and the operators. A small plant model turns the calibration that the module
// writes into the controller traces of the next macro-pulse: the drive path has a gain and a phase error that
// the correction must take out.
#pragma once

#include "OutputVectorCorrection/OVCMain.h"

#include <Corvane/Application.h>
#include <Corvane/ConfigReader.h>
#include <Corvane/LogCapture.h>
#include <Corvane/TestFacility.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

namespace ovctest {

  inline const std::string instance = "ovctest";
  constexpr std::uint32_t pulseLength = 64;

  inline void writeConfiguration(std::int32_t instanceType) {
    std::ofstream(instance + "_base_config.xml")
        << "<configuration><module name=\"Configuration\">\n"
        << "<variable name=\"pulseLength\" type=\"uint32\" value=\"" << pulseLength << "\"/>\n"
        << "<variable name=\"instanceType\" type=\"int32\" value=\"" << instanceType << "\"/>\n"
        << "</module></configuration>\n";
  }

  struct OvcApp : Corvane::Application {
    explicit OvcApp(std::int32_t instanceType)
    : Corvane::Application(instance), written((writeConfiguration(instanceType), true)) {}
    bool written; // the file is written before the reader opens it
    Corvane::ConfigReader config{this, ".", instance + "_base_config.xml"};
    OutputVectorCorrection::OVCMain ovc{this, "OutputVectorCorrection", "Slow drift compensation of drive path."};
  };

  namespace path {
    inline const std::string ovc = "/OutputVectorCorrection/";
    inline const std::string status = ovc + "Status/algorithmStatus";
    inline const std::string statusMessage = ovc + "Status/algorithmStatus_message";
    inline const std::string validationError = ovc + "Status/validationError";
    inline const std::string scale = "/Controller/Output/Calibration/scale";
    inline const std::string angle = "/Controller/Output/Calibration/angle";
    inline const std::string manualScale = "/Controller/Output/Calibration/Manual/scale";
    inline const std::string manualAngle = "/Controller/Output/Calibration/Manual/angle";
    inline const std::string ratio = "/Controller/FeedForward/flattopRatio";
    inline const std::string manualRatio = ovc + "manualRatio";
    inline const std::string feedBack = "/Controller/FeedBack/enable";
    inline const std::string controllerStatus = "/Controller/Status/controllerStatusForOVC";
    inline const std::string inhibitMask = "/Controller/Status/bitmaskForInhibitAlgos";
    inline const std::string samplingFrequency = "/Configuration/samplingFrequency";
    inline const std::string flattopDuration = "/Controller/PulseShape/flattopDuration";
    /// The algorithm directory, e.g. "OpenLoop/Scaling".
    inline std::string algo(const std::string& name) { return ovc + name + "/"; }
  } // namespace path

  inline const std::vector<std::string> windowPaths{"OpenLoop/Scaling/AveragingWindow",
      "OpenLoop/Rotation/AveragingWindow", "OpenLoop/Ratio/AveragingWindow", "ClosedLoop/Scaling/AveragingWindow",
      "ClosedLoop/Rotation/AveragingWindow", "ClosedLoop/Ratio/AveragingWindowFilling",
      "ClosedLoop/Ratio/AveragingWindowFlattop", "ClosedLoop/Forward/AveragingWindow"};

  /// The drive path and cavity as the controller sees them. The set point is flat over the pulse; in open loop
  /// the feed-forward table alone drives, in closed loop the feedback adds what brings the vector sum to the set
  /// point. The path multiplies the calibrated drive by `pathGain` and turns it by `pathPhase` (deg).
  struct Plant {
    double setPointAmplitude = 1000.0; // digits
    double setPointPhase = 0.0;        // deg
    double pathGain = 1.0;
    double pathPhase = 0.0;
    double flattopRatio = 1.0; ///< the flat-top/filling drive ratio that holds the set point flat
    bool closedLoop = false;
    double forwardGain = 1e-4; ///< forward vector sum (G.U.) per drive digit
    std::uint32_t flattopStart = 30;
    /// The vector modulator's DAC offsets (digits) and Q inversion, as they appear in the total output.
    std::int32_t dacOffsetI = 0;
    std::int32_t dacOffsetQ = 0;
    bool qSign = false;

    std::complex<double> setPoint() const {
      return std::polar(setPointAmplitude, setPointPhase * std::numbers::pi / 180.0);
    }
    std::complex<double> path() const { return std::polar(pathGain, pathPhase * std::numbers::pi / 180.0); }
  };

  /// A running module with fs 1 MHz, delay 10 us, filling 20 us and flat-top 20 us (flat-top samples 30 to 47),
  /// every window 8 samples from the flat-top start, limits 0.1 and 2, averaging over one trigger, the module
  /// enabled, and manual scale 1, angle 0 and ratio 1.
  struct Station {
    explicit Station(std::int32_t instanceType = 1) : app(instanceType), test(app) {
      test.setScalarDefault<double>(path::samplingFrequency, 1.0);
      test.setScalarDefault<double>("/Configuration/bitScaling", 1e4);
      test.setScalarDefault<std::uint8_t>("/Configuration/vectorSumBitShift", 2);
      test.setScalarDefault<double>("/Controller/PulseShape/delay", 10.0);
      test.setScalarDefault<double>("/Controller/PulseShape/fillingDuration", 20.0);
      test.setScalarDefault<double>(path::flattopDuration, 20.0);
      for(const auto& w : windowPaths) {
        test.setScalarDefault<std::uint32_t>(path::ovc + w + "/length", 8);
      }
      test.setScalarDefault<std::int32_t>(path::ovc + "ClosedLoop/Ratio/AveragingWindowFilling/offset", -12);
      test.setScalarDefault<double>(path::ovc + "totalScaleMin", 0.1);
      test.setScalarDefault<double>(path::ovc + "totalScaleMax", 2.0);
      test.setScalarDefault<std::uint32_t>(path::ovc + "nAveragedTriggers", 1);
      test.setScalarDefault<Corvane::Boolean>(path::ovc + "enable", true);
      test.setScalarDefault<double>(path::manualScale, 1.0);
      test.setScalarDefault<double>(path::manualRatio, 1.0);
      for(const auto* a : {"ClosedLoop/Scaling", "ClosedLoop/Ratio"}) {
        test.setScalarDefault<double>(path::algo(a) + "maxLoopPhaseError", 180.0);
      }
      test.setScalarDefault<double>(path::algo("ClosedLoop/Ratio") + "maxLoopGainError", 10.0);
    }

    void run() { test.runApplication(); }

    template<class T>
    void write(const std::string& p, T value) {
      test.writeScalar<T>(p, value);
      test.stepApplication();
    }
    double read(const std::string& p) { return test.readScalar<double>(p); }
    std::int32_t status() { return test.readScalar<std::int32_t>(path::status); }
    std::string message() { return test.readScalar<std::string>(path::statusMessage); }

    /// Enables one algorithm ("OpenLoop/Scaling", ...) with a gain.
    void enableAlgorithm(const std::string& name, double gain) {
      test.writeScalar<double>(path::algo(name) + "gain", gain);
      write<Corvane::Boolean>(path::algo(name) + "enable", true);
    }

    /// Feeds one macro-pulse of the plant under the calibration that the module last wrote, all traces with one
    /// version.
    void pulse() {
      const double scale = read(path::scale);
      const double angle = read(path::angle) * std::numbers::pi / 180.0;
      const std::complex<double> calibration = std::polar(scale, angle);
      const double ratio = read(path::ratio);
      std::vector<float> ffI(pulseLength), ffQ(pulseLength), fbI(pulseLength), fbQ(pulseLength);
      std::vector<float> vsI(pulseLength), vsQ(pulseLength), errI(pulseLength), errQ(pulseLength);
      std::vector<float> totI(pulseLength), totQ(pulseLength), fwI(pulseLength), fwQ(pulseLength);
      std::vector<double> tableI(pulseLength), tableQ(pulseLength);
      for(std::uint32_t k = 0; k < pulseLength; ++k) {
        const bool flattop = k >= plant.flattopStart;
        // on the flat-top the cavity needs flattopRatio times the filling drive to hold the set point
        const std::complex<double> response =
            calibration * plant.path() / (flattop ? plant.flattopRatio : 1.0);
        const std::complex<double> table = plant.setPoint() * (flattop ? ratio : 1.0);
        const std::complex<double> output = plant.closedLoop ? plant.setPoint() / response : table;
        const std::complex<double> feedback = output - table;
        const std::complex<double> vectorSum = output * response;
        const std::complex<double> error = plant.setPoint() - vectorSum;
        const std::complex<double> forward = output * calibration * plant.path() * plant.forwardGain;
        tableI[k] = table.real(), tableQ[k] = table.imag();
        ffI[k] = float(table.real()), ffQ[k] = float(table.imag());
        fbI[k] = float(feedback.real()), fbQ[k] = float(feedback.imag());
        vsI[k] = float(vectorSum.real()), vsQ[k] = float(vectorSum.imag());
        errI[k] = float(error.real()), errQ[k] = float(error.imag());
        const std::complex<double> toModulator = output * calibration; // the total output is calibrated
        totI[k] = float(toModulator.real() + plant.dacOffsetI);
        totQ[k] = float((plant.qSign ? -toModulator.imag() : toModulator.imag()) + plant.dacOffsetQ);
        fwI[k] = float(forward.real()), fwQ[k] = float(forward.imag());
      }
      test.writeScalar<std::int32_t>("/Controller/VectorModulator/DacOffset/I", plant.dacOffsetI);
      test.writeScalar<std::int32_t>("/Controller/VectorModulator/DacOffset/Q", plant.dacOffsetQ);
      test.writeScalar<Corvane::Boolean>("/Controller/VectorModulator/qSign", plant.qSign);
      test.writeArray<double>("/Controller/FeedForward/Table/I", tableI);
      test.writeArray<double>("/Controller/FeedForward/Table/Q", tableQ);
      Corvane::VersionNumber v;
      test.writeArray<float>("/Controller/FeedForward/DAQ/I", ffI, v);
      test.writeArray<float>("/Controller/FeedForward/DAQ/Q", ffQ, v);
      test.writeArray<float>("/Controller/Output/Proportional/DAQ/I", fbI, v);
      test.writeArray<float>("/Controller/Output/Proportional/DAQ/Q", fbQ, v);
      test.writeArray<float>("/Controller/VectorSum/DAQ/I", vsI, v);
      test.writeArray<float>("/Controller/VectorSum/DAQ/Q", vsQ, v);
      test.writeScalar<float>("/Controller/VectorSum/DAQ/Samples/amplitude", float(std::abs(plant.setPoint())), v);
      test.writeArray<float>("/Controller/Output/Total/DAQ/I", totI, v);
      test.writeArray<float>("/Controller/Output/Total/DAQ/Q", totQ, v);
      test.writeArray<float>("/Controller/Error/DAQ/I", errI, v);
      test.writeArray<float>("/Controller/Error/DAQ/Q", errQ, v);
      test.writeArray<float>("/ForwardVectorSum/I", fwI, v);
      test.writeArray<float>("/ForwardVectorSum/Q", fwQ, v);
      if(master) {
        const std::vector<double> none(pulseLength, 0.0);
        test.writeArray<double>("/ForwardVectorSum/FromSlave/I", none, v);
        test.writeArray<double>("/ForwardVectorSum/FromSlave/Q", none, v);
      }
      test.stepApplication();
    }

    /// How often `text` was logged so far (a closing end of line aside).
    std::size_t logged(const std::string& text) {
      const auto messages = log.messages();
      return std::count_if(messages.begin(), messages.end(), [&](const Corvane::Logger::Message& m) {
        auto t = m.text;
        while(!t.empty() && t.back() == '\n') t.pop_back();
        return t == text;
      });
    }

    void pulses(int n) {
      for(int i = 0; i < n; ++i) pulse();
    }

    Plant plant;
    bool master{true};
    Corvane::LogCapture log;
    OvcApp app;
    Corvane::TestFacility test;
  };

} // namespace ovctest
