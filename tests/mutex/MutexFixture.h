// Fixtures of the firmware table mutex tests: a board with one lock register pair, table writers that the
// test drives through their "command" input, and a capture of the mutex's log.
#pragma once

#include "FollowingLockBackend.h"
#include "MultiClientFirmwareMutex.h"

#include <Corvane/BackendFactory.h>
#include <Corvane/Corvane.h>
#include <Corvane/DeviceModule.h>
#include <Corvane/EventMessageAggregator.h>
#include <Corvane/LogCapture.h>
#include <Corvane/Logger.h>
#include <Corvane/SetDMapFilePath.h>
#include <Corvane/StatusAggregator.h>
#include <Corvane/TestFacility.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace mutextest {

  inline const std::string controllerMutex = "/Controller/Configuration/tableBufferMode";
  inline const std::string boardAlias = "LockBoard";

  /// Writes "<stem>.dmap" naming the board `boardAlias` and its register map with the lock pair
  /// "<lockPath>/state" and "<lockPath>/actualState"; returns the dmap file name.
  inline std::string writeBoardFiles(const std::string& stem, const std::string& lockPath) {
    std::string name = lockPath.substr(1);
    std::ofstream(stem + ".map") << "# name  n  address  bytes  bar  width  frac  signed  access\n"
                                 << name << "/state        1  0  4  0  1  0  0  RW\n"
                                 << name << "/actualState  1  4  4  0  1  0  0  RO\n";
    std::ofstream(stem + ".dmap") << boardAlias << " (lockfollow:1?map=" << stem << ".map)\n";
    return stem + ".dmap";
  }

  inline std::shared_ptr<FollowingLockBackend> findBoard() {
    return std::dynamic_pointer_cast<FollowingLockBackend>(
        Corvane::BackendFactory::getInstance().findBackend(boardAlias));
  }

  enum Command : std::int32_t { lockCommand = 1, unlockCommand = 2 };

  /// A table writer: each value of "command" runs lock() (1) or unlock() (2); "completed" counts the calls
  /// that returned.
  struct Writer : Corvane::ApplicationModule {
    Writer(Corvane::ModuleGroup* owner, const std::string& name, const std::string& mutexName)
    : ApplicationModule(owner, name, "Table writer"), lockClient(this, mutexName) {}

    MultiClientFirmwareMutex::ClientInterface lockClient;
    Corvane::ScalarPushInput<std::int32_t> command{this, "command", "", "1: lock, 2: unlock"};
    Corvane::ScalarOutput<std::int32_t> completed{this, "completed", "", "Lock operations that returned"};

    void prepare() override { completed.write(); }
    void mainLoop() override {
      while(true) {
        command.read();
        if(command == lockCommand)
          lockClient.lock();
        else if(command == unlockCommand)
          lockClient.unlock();
        completed.setAndWrite(completed + 1);
      }
    }
  };

  inline const std::string stateRegister = controllerMutex.substr(1) + "/state";
  inline const std::string actualStateRegister = controllerMutex.substr(1) + "/actualState";

  using Corvane::LogCapture;

  /// A client that breaks the protocol of the client interface: "command" 1 sends a request, 2 a release,
  /// whatever it holds.
  struct RogueClient : Corvane::ApplicationModule {
    explicit RogueClient(Corvane::ModuleGroup* owner) : Corvane::ApplicationModule(owner, "Rogue", "") {}

    struct Interface : Corvane::VariableGroup {
      using Corvane::VariableGroup::VariableGroup;
      Corvane::ScalarOutput<Corvane::Boolean> inhibit{this, "inhibit", "", "", {MultiClientFirmwareMutex::clientTag}};
      Corvane::ScalarPushInput<Corvane::Boolean> acknowledged{this, "acknowledged", "", ""};
    };
    Interface lockInterface{this, controllerMutex + "/rogue", ""};
    Corvane::ScalarPushInput<std::int32_t> command{this, "command", "", ""};
    Corvane::ScalarOutput<std::int32_t> completed{this, "completed", "", ""};
    Corvane::ScalarOutput<Corvane::Boolean> lastAcknowledgement{this, "lastAcknowledgement", "", ""};

    void prepare() override {
      lockInterface.inhibit.write();
      completed.write();
      lastAcknowledgement.write();
    }
    void mainLoop() override {
      while(true) {
        command.read();
        lockInterface.inhibit.setAndWrite(command == lockCommand);
        lockInterface.acknowledged.read();
        lastAcknowledgement.setAndWrite(lockInterface.acknowledged);
        completed.setAndWrite(completed + 1);
      }
    }
  };

  /// The controller's table writers, its mutex, and the aggregators that make a time-out visible. A writer
  /// named "Rogue" is a RogueClient. The board reads its registers on `boardTrigger` when one is given (a
  /// station's boards run on the station trigger); poll reads go to the board either way.
  struct StationApp : Corvane::Application {
    explicit StationApp(const std::vector<std::string>& writerNames, std::string boardTrigger = "")
    : Corvane::Application("mutextest"), boardTriggerPath(std::move(boardTrigger)) {
      writers.reserve(writerNames.size());
      for(const auto& name : writerNames) {
        if(name == "Rogue")
          rogue.emplace(&controller);
        else
          writers.emplace_back(&controller, name, controllerMutex);
      }
      mutex = MultiClientFirmwareMutex(this, controllerMutex, "");
      readyStatus = Corvane::StatusAggregator(this, "readyStatus", "", Corvane::StatusAggregator::PriorityMode::fwko);
      events = Corvane::EventMessageAggregator(this, "eventMessage", "");
    }

    std::string boardTriggerPath;
    Corvane::SetDMapFilePath dmap{writeBoardFiles("mutextest", controllerMutex)};
    Corvane::DeviceModule board{this, boardAlias, boardTriggerPath};
    Corvane::ModuleGroup controller{this, "Controller", ""};
    std::vector<Writer> writers;
    std::optional<RogueClient> rogue;
    MultiClientFirmwareMutex mutex;
    Corvane::StatusAggregator readyStatus;
    Corvane::EventMessageAggregator events;
  };

  /// A running station with its board; the firmware follows "state" after `followAfterReads` reads (0: never)
  /// and starts with "actualState" = `initialActualState`.
  struct Station {
    Station(const std::vector<std::string>& writerNames, unsigned followAfterReads, bool initialActualState = true,
        const std::string& boardTrigger = "")
    : app(writerNames, boardTrigger), test(app), board(findBoard()) {
      board->setFollowAfterReads(followAfterReads);
      board->setRegister<std::int32_t>(actualStateRegister, {initialActualState ? 1 : 0});
      test.runApplication();
    }

    void command(const std::string& writer, Command c) {
      test.writeScalar<std::int32_t>("/Controller/" + writer + "/command", c);
      test.stepApplication();
    }
    std::int32_t completed(const std::string& writer) {
      return test.readScalar<std::int32_t>("/Controller/" + writer + "/completed");
    }
    /// Advances the clock by one poll interval at a time until `writer` has completed `expected` operations;
    /// returns the number of intervals (limit + 1 if it never did).
    unsigned pollsUntilCompleted(const std::string& writer, std::int32_t expected, unsigned limit = 2100) {
      unsigned polls = 0;
      while(completed(writer) < expected && polls <= limit) {
        test.advanceTime(std::chrono::microseconds(10));
        ++polls;
      }
      return polls;
    }
    std::int32_t stateRegisterValue() { return board->getRegister<std::int32_t>(stateRegister).at(0); }
    std::size_t stateWrites() { return board->getWriteCount(stateRegister); }

    LogCapture log;
    StationApp app;
    Corvane::TestFacility test;
    std::shared_ptr<FollowingLockBackend> board;
  };

} // namespace mutextest
