// Runs an application in-process for tests, against the in-memory control system.
//
// Tests write and read any variable by path and step the application deterministically:
// stepApplication() returns when every module thread waits on inputs with nothing pending (or
// has ended, or released the testable-mode lock). The clock stands still; advanceTime() moves
// it and fires what falls due. No test needs to sleep.
#pragma once

#include "Corvane/Application.h"
#include "Corvane/ControlSystem.h"
#include "Corvane/Time.h"

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace Corvane {

  class TestFacility {
   public:
    /// Puts the application into test mode (virtual clock); nothing runs until runApplication().
    explicit TestFacility(Application& app, bool enableTestableMode = true);
    /// Shuts the application down.
    ~TestFacility();
    TestFacility(const TestFacility&) = delete;
    TestFacility& operator=(const TestFacility&) = delete;

    /// Runs every module task that does not have a thread of its own on one worker, whatever
    /// the execution groups: the tasks then run one at a time in a defined order (start order,
    /// then the order in which they become ready), so that pass counts and intermediate outputs
    /// are the same on every run. Before runApplication().
    void runTasksInOrder() { _app.setWorkerCount(1); }

    /// Initialises (if needed) and starts the application, then steps until idle.
    void runApplication();

    /// Returns once the application is idle. Throws runtime_error when a module failed (naming
    /// it) or when the application does not become idle within the bound (naming busy modules).
    void stepApplication();

    /// Moves the application clock and steps.
    void advanceTime(SteadyClock::duration duration);

    template<class T>
    void writeScalar(const std::string& path, const T& value, VersionNumber version = VersionNumber{}) {
      variable(path).set(std::vector<T>{value}, version);
    }
    template<class T>
    void writeArray(const std::string& path, const std::vector<T>& value, VersionNumber version = VersionNumber{}) {
      variable(path).set(value, version);
    }
    template<class T>
    T readScalar(const std::string& path) {
      auto values = variable(path).template get<T>();
      return values.empty() ? T{} : values.front();
    }
    template<class T>
    std::vector<T> readArray(const std::string& path) {
      return variable(path).template get<T>();
    }
    DataValidity getValidity(const std::string& path);
    VersionNumber getVersion(const std::string& path);
    /// Number of values the variable received so far (including the control system's writes).
    std::uint64_t updateCount(const std::string& path);

    /// Initial value of a control-system-fed variable (set before runApplication()).
    template<class T>
    void setScalarDefault(const std::string& path, const T& value) {
      _defaults[path] = [value](ControlSystemVariable& v) { v.set(std::vector<T>{value}); };
    }
    template<class T>
    void setArrayDefault(const std::string& path, const std::vector<T>& value) {
      _defaults[path] = [value](ControlSystemVariable& v) { v.set(value); };
    }

    ControlSystemVariable& variable(const std::string& path);

   private:
    Application& _app;
    std::map<std::string, std::function<void(ControlSystemVariable&)>> _defaults;
  };

} // namespace Corvane
