// Registration state of entities and accessors.
//
// The C++ objects that users declare (modules, groups, accessors) are handles on these heap
// nodes. The ownership tree links nodes, not objects, so moving an object moves a pointer and
// keeps every registration intact; destroying a handle unregisters its node.
#pragma once

#include "Corvane/TransferElementID.h"
#include "Corvane/Types.h"
#include "Corvane/VersionNumber.h"
#include "Corvane/detail/Channel.h"
#include "Corvane/detail/Flags.h"

#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

namespace Corvane {
  class Module;
  class EntityOwner;
  class Application;
} // namespace Corvane

namespace Corvane::detail {

  class NetworkVariable;
  struct AccessorNode;

  enum class EntityKind { application, moduleGroup, applicationModule, variableGroup, deviceModule };

  /// Run-time state of one application module: its inbox, version and validity bookkeeping.
  struct ModuleRuntime {
    std::shared_ptr<Inbox> inbox;
    VersionNumber currentVersion{nullptr};
    int dataFaultCounter{0};
    int faultyInputs{0};
    DataValidity validity() const {
      return dataFaultCounter > 0 || faultyInputs > 0 ? DataValidity::faulty : DataValidity::ok;
    }
  };

  struct EntityNode {
    EntityNode(EntityKind kind_, std::string name_, std::string description_, std::unordered_set<std::string> tags_)
    : kind(kind_), name(std::move(name_)), description(std::move(description_)), tags(std::move(tags_)) {}
    ~EntityNode();
    EntityNode(const EntityNode&) = delete;
    EntityNode& operator=(const EntityNode&) = delete;

    void attachTo(EntityNode* newParent);
    void detach();

    /// Absolute directory that names below this entity are relative to.
    std::string directory() const;
    /// Ownership path with the names as given, e.g. "/app/Group/./Module".
    std::string qualifiedName() const;
    /// True when this node hangs below an application (directly or indirectly).
    bool isRegistered() const;
    bool isDisabled() const;
    Application* application() const;
    /// Nearest application module at or above this node, or null.
    EntityNode* owningModule();
    /// The execution group of this node: its own, else its nearest owner's, else "" (the rest).
    std::string effectiveExecutionGroup() const;
    /// Tags of this node and of every owner above it.
    std::unordered_set<std::string> inheritedTags() const;

    EntityKind kind;
    std::string name;
    std::string description;
    std::unordered_set<std::string> tags;
    EntityNode* parent{nullptr};
    std::vector<EntityNode*> children;
    std::vector<AccessorNode*> accessors;
    EntityOwner* object{nullptr};
    bool disabled{false};
    bool prepared{false};
    std::string executionGroup; // empty: the owner's
    bool ownThread{false};
    std::unique_ptr<ModuleRuntime> runtime; // application modules only, created at connection
  };

  struct AccessorNode {
    AccessorNode(DataType type_, std::size_t n) : type(type_), nElements(n), id(TransferElementID::makeNew()) {}
    virtual ~AccessorNode();
    AccessorNode(const AccessorNode&) = delete;
    AccessorNode& operator=(const AccessorNode&) = delete;

    void attachTo(EntityNode* newOwner);
    void detach();

    /// Absolute path of the variable, resolved against the owner's directory.
    std::string path() const;
    bool isFeeding() const { return direction.dir == VariableDirection::feeding; }
    std::unordered_set<std::string> allTags() const;
    std::string describe() const;
    /// What feeds the connected variable (NetworkVariable.cc); empty when not connected.
    std::string describeFeeder() const;

    /// The accessor's own buffer, holding its value (a shared value is copied into it first).
    virtual VectorRef writableBuffer() = 0;
    /// Takes the oldest queued value into the buffer. Caller holds the inbox mutex.
    virtual bool takeLocked() = 0;

    // Transfers (Accessor.cc). Reads on an unconnected accessor return at once without data.
    /// Push: waits for the next value. Poll: takes the newest value, if any arrived.
    void read();
    bool readNonBlocking();
    /// Takes every queued value, keeping the newest; true when at least one arrived.
    bool readLatest();
    /// Sends the buffer to every other participant of the variable. Without a network
    /// (ownerless accessor, or before the application is connected) nothing happens.
    bool write(bool destructive);
    /// Whether reads of this accessor deliver pushed values (push inputs and read-backs).
    bool receivesPush() const;
    bool isConnected() const { return variable != nullptr; }
    /// Book-keeping after a value was taken: the module's version and validity.
    void noteTaken(const VersionNumber& newVersion, DataValidity newValidity);

    DataType type;
    std::size_t nElements;
    TransferElementID id;
    std::string name, unit, description;
    std::unordered_set<std::string> tags;
    VariableDirection direction;
    UpdateMode mode{UpdateMode::push};
    EntityNode* owner{nullptr};

    // value state
    VersionNumber version{nullptr};
    /// A value was taken; its version may still be null (a poll read of a device without trigger).
    bool hasValue{false};
    DataValidity validity{DataValidity::ok};
    DataValidity ownValidity{DataValidity::ok};
    bool everWritten{false};
    /// The owning module's main loop waits for this input's first value before it starts.
    bool needsInitialValue{true};
    DataValidity lastWrittenValidity{DataValidity::ok};

    // connection, filled when the network is built
    std::shared_ptr<NetworkVariable> variable;
    std::size_t participant{0};
    std::shared_ptr<ReceiveChannel> channel;
    ModuleRuntime* module{nullptr};
    bool canSend{false};
    /// Reads may keep the sender's value itself instead of copying it (see AccessorBase).
    bool sharesReceivedValues{false};
    /// For poll inputs fed by a device: fetches the current value into the channel.
    std::function<void()> pull;
  };

  template<class T>
  struct TypedAccessorNode final : AccessorNode {
    TypedAccessorNode(std::size_t n) : AccessorNode(dataTypeOf<T>(), n), buffer(n) {}
    VectorRef writableBuffer() override { return &writable(); }
    bool takeLocked() override {
      if(!channel) return false;
      VersionNumber newVersion{nullptr};
      DataValidity newValidity{DataValidity::ok};
      if(!typedChannel()->take(buffer, sharesReceivedValues ? &shared : nullptr, newVersion, newValidity)) return false;
      noteTaken(newVersion, newValidity);
      return true;
    }
    TypedChannel<T>* typedChannel() { return static_cast<TypedChannel<T>*>(channel.get()); }

    /// The value: the shared value last read, or the own buffer.
    const std::vector<T>& readable() const { return shared ? shared->data : buffer; }
    /// The own buffer, holding the value: a shared value is copied into it first.
    std::vector<T>& writable() {
      if(shared) {
        buffer.assign(shared->data.begin(), shared->data.end());
        shared.reset();
      }
      return buffer;
    }

    std::vector<T> buffer;
    /// The sender's value itself, when the accessor shares received values and the last read gave one.
    std::shared_ptr<const ControlSystemValue<T>> shared;
  };

} // namespace Corvane::detail
