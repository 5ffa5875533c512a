// Common part of all accessors: a handle on one registered variable endpoint with its own
// value buffer. Moving an accessor moves the registration; a default-constructed accessor
// belongs to no variable (writes do nothing, reads return at once).
//
// Threads: an accessor has no lock; one thread at a time uses it, and which one follows the
// application's life cycle (Application.h):
//   - until run() has started the module threads: the thread that owns the application. It builds
//     and moves accessors, calls startWithoutInitialValue() and shareReceivedValues(), and runs
//     every module's prepare(), whose writes become initial values;
//   - while the application runs: only the thread of the application module that owns the
//     accessor (directly or through its variable groups), in mainLoop() and what it calls. Using
//     another module's accessor, or handing one to a helper thread, races with that thread; pass
//     values instead. read() blocks this thread until a value arrives or shutdown() interrupts it;
//   - after shutdown() has returned: the owning thread again (tests may look at the last values).
// The control system and the TestFacility never touch a module's accessors: they read and write
// the variable's own process variable, which is safe from any thread.
#pragma once

#include "Corvane/Exception.h"
#include "Corvane/TransferElementID.h"
#include "Corvane/VariableNetworkNode.h"
#include "Corvane/VersionNumber.h"
#include "Corvane/detail/Nodes.h"

#include <memory>
#include <string>
#include <unordered_set>

namespace Corvane {

  class Module;

  namespace detail {
    /// Registers an accessor node with its owner; throws logic_error for an invalid name.
    void registerAccessor(AccessorNode& node, Module* owner);
  } // namespace detail

  template<class T>
  class AccessorBase {
   public:
    using value_type = T;

    AccessorBase() : _node(std::make_unique<detail::TypedAccessorNode<T>>(1)) {}
    AccessorBase(AccessorBase&&) noexcept = default;
    AccessorBase& operator=(AccessorBase&&) noexcept = default;

    /// Push input: waits for the next value. Poll input: takes the newest value.
    void read() { _node->read(); }
    bool readNonBlocking() { return _node->readNonBlocking(); }
    bool readLatest() { return _node->readLatest(); }
    /// Sends the current value to every reader. Returns true when data was lost (never here:
    /// losses are counted at the receiving queues).
    bool write() { return _node->write(false); }
    /// Like write(), but the buffer may be handed on without a copy; its content is undefined
    /// afterwards.
    bool writeDestructively() { return _node->write(true); }

    VersionNumber getVersionNumber() const { return _node->version; }
    DataValidity dataValidity() const { return _node->validity; }
    /// Validity that the next writes carry (the module's validity can still make them faulty).
    void setDataValidity(DataValidity validity) { _node->ownValidity = validity; }
    TransferElementID getId() const { return _node->id; }

    /// The absolute path (the declared name when the accessor has no owner).
    std::string getName() const { return _node->path(); }
    std::string getUnit() const { return _node->unit; }
    std::string getDescription() const { return _node->description; }
    std::size_t getNElements() const { return _node->readable().size(); }
    bool isReadable() const { return !_node->isFeeding() || _node->direction.withReturn; }
    bool isWriteable() const { return _node->isFeeding() || _node->direction.withReturn; }

    /// What feeds this accessor's variable, for messages: "register <path> of device <alias> (<map
    /// file>:<line>)", a module's output, "control system". Empty before the application is connected.
    std::string describeFeeder() const { return _node->describeFeeder(); }

    /// Number of buffers of the receive queue: its length plus the reader's own buffer.
    std::size_t getNumberOfBuffers() const { return _node->channel ? _node->channel->queueLength() + 1 : 1; }

    /// The module's main loop starts without waiting for this input's first value (an input
    /// whose feeder may write for the first time much later, such as the trigger of a DAQ mode
    /// that is not active yet). Its first value then arrives like any other.
    void startWithoutInitialValue() { _node->needsInitialValue = false; }

    /// Reads of this input keep the sender's value itself, shared with the control system and
    /// the other readers, instead of a copy: reading through const access (value(), const data(),
    /// const iteration) costs nothing, and the first non-const access copies the value into the
    /// accessor's own buffer. For large arrays that a module only reads. A reference or pointer
    /// taken from the accessor shows the value of the read before it was taken: take it anew after
    /// each read. Call before the application is initialised.
    void shareReceivedValues() { _node->sharesReceivedValues = true; }

    VariableNetworkNode getNode() const { return VariableNetworkNode(_node.get()); }
    operator VariableNetworkNode() const { return getNode(); }
    detail::AccessorNode* accessorNode() const { return _node.get(); }

   protected:
    AccessorBase(Module* owner, const std::string& name, VariableDirection direction, const std::string& unit,
        std::size_t nElements, UpdateMode mode, const std::string& description,
        const std::unordered_set<std::string>& tags)
    : _node(std::make_unique<detail::TypedAccessorNode<T>>(nElements)) {
      _node->name = name;
      _node->unit = unit;
      _node->description = description;
      _node->tags = tags;
      _node->direction = direction;
      _node->mode = mode;
      detail::registerAccessor(*_node, owner);
    }

    std::vector<T>& buffer() { return _node->writable(); }
    const std::vector<T>& buffer() const { return _node->readable(); }

    std::unique_ptr<detail::TypedAccessorNode<T>> _node;
  };

} // namespace Corvane
