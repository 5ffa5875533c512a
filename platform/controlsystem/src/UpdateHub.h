// Carries the application's new values to the WebSocket sessions that subscribed to them.
//
// Each published variable gets a listener that runs in the writing application thread. It does
// nothing unless someone subscribed; otherwise it sets the variable's "queued" flag and, when the
// flag was clear, appends the variable to the changed list (a short mutex-protected append) and,
// for the first entry of a batch, posts one drain to the network thread (outside the mutex). The drain (network
// thread) takes each changed variable's newest value as a shared snapshot and offers it to the
// subscribers. Values written again before the drain ran are coalesced: subscribers see the
// newest, and the values' sequence numbers tell how many were skipped.
#pragma once

#include <Corvane/ControlSystem.h>

#include <boost/asio/io_context.hpp>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace Corvane::Cs {

  /// A receiver of new values (a WebSocket session); called in the network thread only.
  class Subscriber {
   public:
    virtual ~Subscriber() = default;
    /// `value` is the variable's newest value (not empty), shared with everybody else who holds it.
    virtual void offer(std::size_t variableIndex, const SharedValue& value) = 0;
  };

  class UpdateHub {
   public:
    UpdateHub(ControlSystem& controlSystem, std::shared_ptr<boost::asio::io_context> io);
    ~UpdateHub();
    UpdateHub(const UpdateHub&) = delete;
    UpdateHub& operator=(const UpdateHub&) = delete;

    /// Installs the listeners. detach() removes them; afterwards no listener touches the hub.
    void attach();
    void detach();

    std::size_t size() const { return _variables.size(); }
    ControlSystemVariable& variable(std::size_t index) { return *_variables[index]; }
    std::optional<std::size_t> indexOf(const std::string& path) const;
    /// The variable at `path`, or every variable below the directory `path` ("/" for all).
    std::vector<std::size_t> resolve(const std::string& path) const;

    // network thread only
    void subscribe(std::size_t index, Subscriber* subscriber);
    void unsubscribe(std::size_t index, Subscriber* subscriber);

   private:
    struct Shared;
    void drain();

    std::vector<ControlSystemVariable*> _variables;
    std::map<std::string, std::size_t> _index;
    std::vector<std::vector<Subscriber*>> _subscribers;
    std::shared_ptr<Shared> _shared;
  };

} // namespace Corvane::Cs
