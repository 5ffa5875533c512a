#include "Corvane/Time.h"

#include "Corvane/Application.h"
#include "Corvane/detail/Scheduler.h"

#include <thread>

namespace Corvane {

  SteadyClock::time_point steadyNow() {
    if(Application::hasInstance()) return Application::getInstance().scheduler().now();
    return SteadyClock::now();
  }

  void sleepFor(SteadyClock::duration duration) {
    auto* inbox = detail::currentInbox();
    if(!inbox) {
      std::this_thread::sleep_for(duration);
      return;
    }
    inbox->sleepUntil(inbox->scheduler->now() + duration);
  }

} // namespace Corvane
