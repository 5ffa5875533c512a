#include "Corvane/InvalidityTracer.h"

#include "Corvane/Application.h"
#include "Corvane/ControlSystem.h"
#include "Corvane/VariableTags.h"

#include <chrono>
#include <ctime>
#include <iomanip>
#include <iostream>
#include <sstream>

namespace Corvane {

  namespace {
    std::string formatTime(std::chrono::system_clock::time_point time) {
      auto seconds = std::chrono::system_clock::to_time_t(time);
      auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count() % 1000;
      if(millis < 0) millis += 1000;
      std::tm utc{};
      gmtime_r(&seconds, &utc);
      std::ostringstream text;
      text << std::put_time(&utc, "%Y-%m-%d %H:%M:%S") << '.' << std::setw(3) << std::setfill('0') << millis;
      return text.str();
    }
  } // namespace

  InvalidityTracer::InvalidityTracer(Module* owner, const std::string& name, const std::string& description,
      const std::unordered_set<std::string>& tags)
  : ApplicationModule(owner, name, description, tags),
    printTrace(this, "printTrace", "", "Write to this variable to print the trace to stdout", {Tags::command}) {}

  std::string InvalidityTracer::trace(const ControlSystem& controlSystem, const std::string& title) {
    std::ostringstream lines;
    std::size_t faulty = 0;
    for(const auto& [path, variable] : controlSystem.variables()) {
      auto value = variable->latestValue();
      if(!value || value.visit([](const auto& held) { return held.validity; }) != DataValidity::faulty) continue;
      auto version = value.visit([](const auto& held) { return held.version; });
      ++faulty;
      lines << "  " << path << " version " << version.value() << " at " << formatTime(version.getTime()) << '\n';
    }
    std::ostringstream text;
    text << "Invalidity trace of " << title << ": " << faulty << " of " << controlSystem.variables().size()
         << " process variables hold invalid data\n"
         << lines.str();
    return text.str();
  }

  void InvalidityTracer::mainLoop() {
    auto& controlSystem = Application::getInstance().getControlSystem();
    while(true) {
      printTrace.read();
      // one write, so that the lines of the trace stay together among other output
      std::cout << trace(controlSystem, getQualifiedName()) << std::flush;
    }
  }

} // namespace Corvane
