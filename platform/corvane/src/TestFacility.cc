#include "Corvane/TestFacility.h"

#include "Corvane/detail/Network.h"
#include "Corvane/detail/Scheduler.h"

#include <sstream>

namespace Corvane {

  TestFacility::TestFacility(Application& app, bool enableTestableMode) : _app(app) {
    if(enableTestableMode) _app.scheduler().enableTestMode();
    _app.getControlSystem().addInitialValueProvider([this](ControlSystemVariable& v) {
      auto it = _defaults.find(v.path());
      if(it == _defaults.end()) return false;
      it->second(v);
      return true;
    });
  }

  TestFacility::~TestFacility() { _app.shutdown(); }

  void TestFacility::runApplication() {
    for(auto& [path, setter] : _defaults) {
      (void)setter;
      if(_app.getState() != Application::State::constructed && !_app.getControlSystem().has(path))
        throw logic_error("Default for unknown variable " + path);
    }
    _app.run();
    stepApplication();
  }

  void TestFacility::stepApplication() {
    bool idle = _app.scheduler().waitUntilIdle(std::chrono::seconds(30));
    if(_app.exitStatus() != 0) throw runtime_error("Application failed: " + _app.failureMessage());
    if(!idle) throw runtime_error("Application did not become idle within 30 s");
  }

  void TestFacility::advanceTime(SteadyClock::duration duration) {
    _app.scheduler().advanceTime(duration);
    stepApplication();
  }

  ControlSystemVariable& TestFacility::variable(const std::string& path) {
    return _app.getControlSystem().variable(path);
  }

  DataValidity TestFacility::getValidity(const std::string& path) {
    auto value = variable(path).latestValue();
    return value ? value.visit([](const auto& held) { return held.validity; }) : DataValidity::ok;
  }

  VersionNumber TestFacility::getVersion(const std::string& path) {
    auto value = variable(path).latestValue();
    return value ? value.visit([](const auto& held) { return held.version; }) : VersionNumber{nullptr};
  }

  std::uint64_t TestFacility::updateCount(const std::string& path) { return variable(path).updateCount(); }

} // namespace Corvane
