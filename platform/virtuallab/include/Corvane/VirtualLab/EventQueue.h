// Run-to-completion processing of a simulated board's events: an action runs to its end before
// the next one starts. An action handed in while another runs (raised inside it, in the same
// thread) is queued at the back and runs after it, oldest first.
//
// A standard exception thrown by an action ends that action only: it is logged at error
// severity with the owner's name as source (at most one line per second, the line counting the
// ones held back) and the queue goes on. Any other exception empties the queue and passes on.
//
// Not thread-safe: the board calls it under its mutex.
#pragma once

#include <Corvane/LogRateLimit.h>

#include <deque>
#include <functional>
#include <string>

namespace Corvane::VirtualLab {

  class EventQueue {
   public:
    using Action = std::function<void()>;

    /// `owner` names the board in log lines.
    explicit EventQueue(std::string owner) : _owner(std::move(owner)) {}

    /// Runs `action` and then every action queued meanwhile; inside an action, queues it.
    void process(Action action);

    bool isProcessing() const { return _processing; }
    std::size_t pending() const { return _queue.size(); }

    /// Standard exceptions caught from actions since construction.
    std::size_t getExceptionCount() const { return _exceptionCount; }

   private:
    void runLogged(const Action& action);

    std::string _owner;
    std::deque<Action> _queue;
    bool _processing{false};
    std::size_t _exceptionCount{0};
    LogRateLimit _logLimit;
  };

} // namespace Corvane::VirtualLab
