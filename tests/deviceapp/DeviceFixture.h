// A dummy board for device-module tests: a device map and a register map written into the
// test's working directory, and access to the in-memory backend. The backend type
// "writeRecordingDummy" is a dummy that also records which registers clients write, in order.
#pragma once

#include <Corvane/BackendFactory.h>
#include <Corvane/BackendRegisterer.h>
#include <Corvane/DMapRelativePath.h>
#include <Corvane/DummyBackend.h>
#include <Corvane/SetDMapFilePath.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace deviceapp {

  /// How many of `texts` contain `part`.
  inline std::size_t countContaining(const std::vector<std::string>& texts, const std::string& part) {
    return std::count_if(texts.begin(), texts.end(), [&](auto& text) { return text.find(part) != std::string::npos; });
  }

  class WriteRecordingDummy : public Corvane::DummyBackend {
   public:
    using DummyBackend::DummyBackend;

    static std::shared_ptr<Corvane::DeviceBackend> createInstance(
        const std::string&, const std::map<std::string, std::string>& parameters) {
      return std::make_shared<WriteRecordingDummy>(Corvane::convertPathRelativeToDmapToAbs(parameters.at("map")));
    }

    /// Paths of the registers written by clients since the last call, in the order of the writes.
    std::vector<std::string> takeWrittenRegisters() {
      std::lock_guard lock(mutex());
      return std::exchange(_written, {});
    }

   protected:
    void regWriteEvents(std::uint8_t bar, std::uint64_t address, std::size_t nBytes) override {
      for(const auto& info : getRegisterMap().registers()) {
        if(info.bar == bar && info.address == address && info.nBytes == nBytes) _written.push_back(info.path);
      }
    }

   private:
    std::vector<std::string> _written;
  };

  inline Corvane::BackendRegisterer writeRecordingDummyRegisterer(
      "writeRecordingDummy", &WriteRecordingDummy::createInstance, {"map"});

  inline std::string writeBoardFiles(const std::string& stem, const std::string& backendType = "dummy") {
    std::ofstream(stem + ".map") << R"(# name                 n     address bytes bar width frac signed access
Board.status             1     0       4     0   32    0    0      RO
Board.setting            1     4       4     0   32    0    1      RW
Board.command            1     8       4     0   16    0    0      WO
Board.gain               1     12      4     0   18    8    1      RW
Board.daq                2x4   16      32    0   32    0    1      RO
Board.daq0               4     16      16    0   32    0    1      RO
Other.value              1     48      4     0   32    0    1      RO
)";
    std::ofstream(stem + ".dmap") << "Board (" << backendType << ":1?map=" << stem << ".map)\n";
    return stem + ".dmap";
  }

  inline std::shared_ptr<WriteRecordingDummy> recordingDummy(const std::string& alias) {
    return std::dynamic_pointer_cast<WriteRecordingDummy>(Corvane::BackendFactory::getInstance().findBackend(alias));
  }

  inline std::shared_ptr<Corvane::DummyBackend> dummy(const std::string& alias) {
    return std::dynamic_pointer_cast<Corvane::DummyBackend>(Corvane::BackendFactory::getInstance().findBackend(alias));
  }

} // namespace deviceapp
