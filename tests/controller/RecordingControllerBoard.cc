#include "RecordingControllerBoard.h"

#include <Corvane/BackendRegisterer.h>
#include <Corvane/Exception.h>
#include <Corvane/RegisterMapFile.h>

#include <mutex>
#include <stdexcept>

namespace controllertest {

  namespace {
    Corvane::BackendRegisterer registerer("ctrlrecord", &RecordingControllerBoard::createInstance, {"map"});

    const std::string lockState = "ToControlSystem/Controller/Configuration/tableBufferMode/state";
  } // namespace

  RecordingControllerBoard::RecordingControllerBoard(const std::string& mapFileName) : DummyBackend(mapFileName) {
    _state = &getRegisterMap().getRegister(lockState);
  }

  std::shared_ptr<Corvane::DeviceBackend> RecordingControllerBoard::createInstance(
      const std::string& address, const std::map<std::string, std::string>& parameters) {
    return std::make_shared<RecordingControllerBoard>(Corvane::registerMapFile({"ctrlrecord", address, parameters}));
  }

  void RecordingControllerBoard::watchTable(const std::string& tablePath) {
    const auto& map = getRegisterMap();
    std::lock_guard lock(mutex());
    // a current buffer shares its select's address: a read there is the current buffer, a write the select
    _watched = {{&map.getRegister(tablePath + "/I"), "read I", "write I"},
        {&map.getRegister(tablePath + "/Q"), "read Q", "write Q"},
        {&map.getRegister(tablePath + "/bufferSelectI"), "read current I", "write select I"},
        {&map.getRegister(tablePath + "/bufferSelectQ"), "read current Q", "write select Q"}};
    _q = _watched[1].info;
    _accesses.clear();
    _tablesWritten.clear();
  }

  std::vector<std::pair<RecordingControllerBoard::Words, RecordingControllerBoard::Words>>
  RecordingControllerBoard::tablesWritten() const {
    std::lock_guard lock(mutex());
    return _tablesWritten;
  }

  std::vector<std::string> RecordingControllerBoard::accesses() const {
    std::lock_guard lock(mutex());
    return _accesses;
  }

  void RecordingControllerBoard::failNextQWrite() {
    std::lock_guard lock(mutex());
    _failQ = true;
  }

  const RecordingControllerBoard::Watched* RecordingControllerBoard::find(
      std::uint8_t bar, std::uint64_t address, std::size_t nBytes) const {
    for(const auto& watched : _watched) {
      const auto& info = *watched.info;
      if(bar == info.bar && address < info.address + info.nBytes && info.address < address + nBytes) return &watched;
    }
    return nullptr;
  }

  void RecordingControllerBoard::read(std::uint8_t bar, std::uint64_t address, std::int32_t* data, std::size_t nBytes) {
    {
      std::lock_guard lock(mutex());
      if(const auto* watched = find(bar, address, nBytes)) _accesses.push_back(watched->readName);
    }
    DummyBackend::read(bar, address, data, nBytes);
  }

  void RecordingControllerBoard::write(
      std::uint8_t bar, std::uint64_t address, const std::int32_t* data, std::size_t nBytes) {
    {
      std::lock_guard lock(mutex());
      if(_failQ && _q && find(bar, address, nBytes) == &_watched[1]) {
        _failQ = false;
        throw std::logic_error("simulated failure of the Q write");
      }
    }
    DummyBackend::write(bar, address, data, nBytes);
  }

  void RecordingControllerBoard::regWriteEvents(std::uint8_t bar, std::uint64_t address, std::size_t nBytes) {
    if(bar == _state->bar && address == _state->address) {
      _accesses.push_back(*rawWords(bar, address, 1) == 0 ? "lock" : "unlock");
    }
    else if(const auto* watched = find(bar, address, nBytes)) {
      _accesses.push_back(watched->writeName);
      if(watched == &_watched[1]) {
        auto words = [this](const Corvane::RegisterInfo& info) {
          const auto* first = rawWords(info.bar, info.address, info.nBytes / 4);
          return Words(first, first + info.nBytes / 4);
        };
        _tablesWritten.emplace_back(words(*_watched[0].info), words(*_watched[1].info));
      }
    }
  }

} // namespace controllertest
