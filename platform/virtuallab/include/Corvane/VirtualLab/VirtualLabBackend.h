// Base of a simulated board: a dummy device (its register space, its mutex, register-write
// events) with a run-to-completion event queue, a timer group in simulated time whose timers
// raise events, and the registration of the board type with the backend factory.
//
// The board (CRTP: class MyBoard : public VirtualLabBackend<MyBoard>) defines its events as
// small types and handles each with an overload of `handle`:
//
//   struct onTrigger {};
//   void handle(const onTrigger&);            // the action of the event
//   MyBoard(const std::string& mapFile) : VirtualLabBackend(mapFile, "MyBoard") {
//     addTimer<onTrigger>("trigger");         // the timer's expiry raises onTrigger
//   }
//   void regWriteEvents(std::uint8_t bar, std::uint64_t address, std::size_t nBytes) override {
//     if(inside(attenuatorValue, bar, address, nBytes)) processEvent(onWriteAttenuatorValue{});
//   }
//   static inline MyBoard::BackendRegisterer registerer{"MyBoard"};  // type "MyBoard", parameter "map"
//
// Locking: every event runs under mutex(). Client register writes call regWriteEvents under it
// already (DummyBackend); advanceToTimer takes it for each step of the advance and releases it
// in between, so clients reach the registers while simulated time goes on; other callers of
// processEvent hold it themselves. The board's own code reads and writes its registers through
// DummyRegisterAccessors (no lock, no event). The event queue, the timer group and the board's
// histories are guarded by mutex() as well.
#pragma once

#include "Corvane/VirtualLab/EventQueue.h"
#include "Corvane/VirtualLab/TimerGroup.h"

#include <Corvane/BackendFactory.h>
#include <Corvane/DummyBackend.h>
#include <Corvane/RegisterMapFile.h>

#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace Corvane::VirtualLab {

  template<class Derived>
  class VirtualLabBackend : public DummyBackend {
   public:
    /// Registers the board type with the backend factory when constructed (one static instance
    /// per board type, built at library load): prints "VirtualLabBackend::BackendRegisterer:
    /// registering backend type <type>" to standard output, then registers a creator that builds
    /// the board from the register map named by the descriptor's parameter "map" (resolved
    /// against the device map's folder; missing: Corvane::logic_error "No map file name given
    /// in the device descriptor. ..."). The board needs a constructor from the map file name.
    class BackendRegisterer {
     public:
      explicit BackendRegisterer(const std::string& typeName) {
        std::cout << "VirtualLabBackend::BackendRegisterer: registering backend type " << typeName << std::endl;
        BackendFactory::getInstance().registerBackendType(
            typeName,
            [typeName](const std::string& address, const std::map<std::string, std::string>& parameters) {
              return createInstance(typeName, address, parameters);
            },
            {}, deviceAccessVersion);
      }
    };

    /// The board for a descriptor of type `typeName` (see BackendRegisterer).
    static std::shared_ptr<DeviceBackend> createInstance(const std::string& typeName, const std::string& address,
        const std::map<std::string, std::string>& parameters) {
      return std::make_shared<Derived>(registerMapFile({typeName, address, parameters}));
    }

    /// The board's timers; use under mutex() once other threads may reach the board.
    TimerGroup& timers() { return _timers; }
    const TimerGroup& timers() const { return _timers; }

    /// Processes an event to completion (queued when raised inside another event's action).
    /// The caller holds mutex().
    template<class Event>
    void processEvent(const Event& event) {
      _events.process([this, event] { static_cast<Derived&>(*this).handle(event); });
    }

    /// Advances simulated time to the expiry of the named timer, firing the timers that fall due
    /// (see TimerGroup), holding mutex() for each step. Nothing when that timer is disarmed or
    /// overdue. Called without holding mutex().
    void advanceToTimer(const std::string& name) {
      Picoseconds left = 0;
      {
        std::lock_guard lock(mutex());
        left = _timers.amountToTimer(name);
        if(left < 0) return;
      }
      for(bool more = true; more;) {
        std::lock_guard lock(mutex());
        more = _timers.step(left);
      }
    }

    /// Standard exceptions that event actions threw (each logged, see EventQueue).
    std::size_t getEventExceptionCount() const { return _events.getExceptionCount(); }

   protected:
    /// `boardName` names the board in log lines.
    VirtualLabBackend(const std::string& mapFileName, const std::string& boardName)
    : DummyBackend(mapFileName), _events(boardName) {}

    /// Adds a timer whose expiry raises `Event` (under mutex(), which the advance holds).
    template<class Event>
    void addTimer(const std::string& name) {
      _timers.addTimer(name, [this] { processEvent(Event{}); });
    }

    /// True when a write of nBytes at `address` of `bar` lies entirely inside the register.
    bool inside(const RegisterInfo& info, std::uint8_t bar, std::uint64_t address, std::size_t nBytes) const {
      return bar == info.bar && address >= info.address && address + nBytes <= info.address + info.nBytes;
    }

   private:
    EventQueue _events;
    TimerGroup _timers;
  };

} // namespace Corvane::VirtualLab
