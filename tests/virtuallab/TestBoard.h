// A small simulated board for the tests: a register map with a trigger counter, a strobe
// counter and an attenuator-like register whose writes raise an event; timers "trigger" and
// "strobe" raise the events onTrigger and onStrobe, and every handled event is logged in order.
#pragma once

#include "Corvane/VirtualLab/VirtualLabBackend.h"

#include <Corvane/DummyRegisterAccessor.h>
#include <Corvane/TemporaryDirectory.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace CorvaneTest {

  /// Writes the board's register map into a directory and returns its path.
  inline std::string writeTestBoardMap(const Corvane::TemporaryDirectory& directory) {
    auto path = directory.file("testboard.map");
    std::ofstream(path) << "BOARD.TRIGGERS   1 0x00 4 0\n"
                           "BOARD.STROBES    1 0x04 4 0\n"
                           "BOARD.VALUE      1 0x08 4 0\n"
                           "BOARD.NEIGHBOUR  1 0x0C 4 0\n";
    return path;
  }

  class TestBoard : public Corvane::VirtualLab::VirtualLabBackend<TestBoard> {
   public:
    struct onTrigger {};
    struct onStrobe {};
    struct onWriteValue {};

    static constexpr Corvane::VirtualLab::Picoseconds triggerPeriod = 1000;
    static constexpr Corvane::VirtualLab::Picoseconds strobePeriod = 300;
    static constexpr int strobesPerPulse = 3;

    explicit TestBoard(const std::string& mapFile) : VirtualLabBackend(mapFile, "TestBoard") {
      addTimer<onTrigger>("trigger");
      addTimer<onStrobe>("strobe");
      timers().setTimer("trigger", triggerPeriod);
    }

    /// What happened, in order: "trigger@t", "strobe@t", "value@t".
    std::vector<std::string> log;
    /// Runs inside the next event's action, for tests of nesting and failures.
    std::function<void()> duringNextEvent;

    void handle(const onTrigger&) {
      note("trigger");
      triggers = triggers + 1;
      strobesLeft = strobesPerPulse;
      timers().setTimer("trigger", triggerPeriod);
      timers().setTimer("strobe", 0);
    }

    void handle(const onStrobe&) {
      note("strobe");
      strobes = strobes + 1;
      if(--strobesLeft > 0) timers().setTimer("strobe", strobePeriod);
    }

    void handle(const onWriteValue&) { note("value"); }

    Corvane::DummyRegisterAccessor<std::int32_t> triggers{*this, "BOARD.TRIGGERS"};
    Corvane::DummyRegisterAccessor<std::int32_t> strobes{*this, "BOARD.STROBES"};

   protected:
    void regWriteEvents(std::uint8_t bar, std::uint64_t address, std::size_t nBytes) override {
      if(inside(getRegisterMap().getRegister("BOARD.VALUE"), bar, address, nBytes)) processEvent(onWriteValue{});
    }

   private:
    void note(const std::string& what) {
      log.push_back(what + "@" + std::to_string(timers().getCurrentTime()));
      if(auto extra = std::exchange(duringNextEvent, nullptr)) extra();
    }

    int strobesLeft{0};
  };

} // namespace CorvaneTest
