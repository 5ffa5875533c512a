// One ADC board's service modules in a small application: the board group "AdcBoard0" with the
// device module of the board's "/Adc" registers (read on "/Server/triggerNumber"), the trigger
// multiplexer, the SEU detection and the forced re-initialisation, on a dummy board whose
// register map and device map the fixture writes into the working directory.
#pragma once

#include "DummyOf.h"
#include "BoardForceReinit.h"
#include "DaqTriggerMux.h"
#include "FirmwareSEUDetection.h"

#include <Corvane/Application.h>
#include <Corvane/BackendFactory.h>
#include <Corvane/ConfigReader.h>
#include <Corvane/DeviceModule.h>
#include <Corvane/DummyBackend.h>
#include <Corvane/ModuleGroup.h>
#include <Corvane/SetDMapFilePath.h>

#include <atomic>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

namespace adcboard {

  /// Writes "<name>.map", "<name>.dmap" (alias Adc0) and "<name>_base_config.xml"; an empty
  /// decimation text leaves "Configuration/rawAdcDecimation" out.
  inline std::string writeServiceFiles(const std::string& name, const std::string& rawAdcDecimation) {
    std::ofstream(name + ".map") << R"(# name                                              n  address bytes bar width frac signed access
Adc.WORD_DAQ_MUX1                                     1  0       4     0   8     0    0      RW
Adc.daqEnableForRawMode                               1  4       4     0   8     0    0      RW
Adc.timingDividerAdc                                  1  8       4     0   32    0    0      RW
Adc.FirmwareSEUDetection.unrecoverableErrorDetectedRaw 1 12      4     0   32    0    0      RO
Adc.FirmwareSEUDetection.crcErrorSinceFpgaBoot        1  16      4     0   32    0    0      RO
Adc.FirmwareSEUDetection.eccFixedFramesSinceFpgaBoot  1  20      4     0   32    0    0      RO
Adc.BoardInit.bootStatus                              1  24      4     0   1     0    0      RW
)";
    std::ofstream(name + ".dmap") << "Adc0 (dummy:" << name << "?map=" << name << ".map)\n";
    std::ofstream config(name + "_base_config.xml");
    config << "<configuration><module name=\"Configuration\">\n";
    if(!rawAdcDecimation.empty()) {
      config << "<variable name=\"rawAdcDecimation\" type=\"uint32\" value=\"" << rawAdcDecimation << "\"/>\n";
    }
    config << "</module></configuration>\n";
    return name + ".dmap";
  }

  struct ServicesApp : Corvane::Application {
    explicit ServicesApp(const std::string& rawAdcDecimation = "4")
    : Corvane::Application("services"), dmap(writeServiceFiles("services", rawAdcDecimation)) {}

    Corvane::SetDMapFilePath dmap;
    Corvane::ConfigReader config{this, ".", "services_base_config.xml"};
    Corvane::ModuleGroup board{this, "AdcBoard0", ""};
    std::atomic<int> initialisations{0};
    Corvane::DeviceModule device{
        &board, "Adc0", "/Server/triggerNumber", [this](Corvane::Device&) { ++initialisations; }, "/Adc"};
    DaqTriggerMux mux{&board, ".", "Multiplexer for ADC DAQ trigger, to handle raw mode"};
    FirmwareSEUDetection seu{&board, "FirmwareSEUDetection", "Detection of FPGA single event upsets"};
    BoardForceReinit reinit{&board, "BoardInit", "Board initialisation", device};
  };

} // namespace adcboard
