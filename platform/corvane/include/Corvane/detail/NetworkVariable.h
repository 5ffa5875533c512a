// One process variable of the connected network: a path with exactly one feeder and any number
// of consumers. A write by one participant reaches every other participant that receives.
#pragma once

#include "Corvane/Types.h"
#include "Corvane/ValueHandle.h"
#include "Corvane/VersionNumber.h"
#include "Corvane/detail/Channel.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace Corvane {
  class Application;
}

namespace Corvane::detail {

  struct AccessorNode;
  class NetworkVariable;
  template<class T>
  class SnapshotPool;

  /// A participant that is not a module accessor: a configuration value, a constant, a device
  /// register. Feeders send through the variable after connection; consumers provide a channel.
  class ExternalEndpoint {
   public:
    virtual ~ExternalEndpoint() = default;

    std::string path;
    DataType type{DataType::int32};
    std::size_t nElements{1};
    std::string unit, description;
    std::unordered_set<std::string> tags;
    /// What this is, for error messages ("configuration value in file.xml:12").
    std::string what;
    /// 0 when it does not feed; otherwise the feeder precedence (lower wins): 1 device register,
    /// 2 configuration value, 3 constant.
    int feederRank{0};
    bool consumes{false};

    /// Channel that receives values written to the variable (consumers only).
    virtual std::shared_ptr<ReceiveChannel> makeReceiver(Application&) { return nullptr; }
    /// Called once the variable exists; feeders keep it to send.
    virtual void connected(NetworkVariable* var, std::size_t index) {
      variable = var;
      participant = index;
    }
    /// Sends the value that consumers hold before the threads start (configuration, constants).
    virtual void sendInitialValue() {}
    /// Called once every variable of the application is connected (the participants of the
    /// endpoint's variable are final then).
    virtual void networkComplete() {}
    /// True when this endpoint feeds its variable.
    bool isFeeder() const;

    /// The connected variable (owned by the network, which outlives every endpoint's use).
    NetworkVariable* variable{nullptr};
    std::size_t participant{0};
  };

  /// An endpoint with a fixed value: configuration values and constants.
  template<class T>
  class ValueEndpoint : public ExternalEndpoint {
   public:
    explicit ValueEndpoint(std::vector<T> value_) : value(std::move(value_)) {
      type = dataTypeOf<T>();
      nElements = value.size();
    }
    void sendInitialValue() override;
    std::vector<T> value;
  };

  struct Participant {
    AccessorNode* accessor{nullptr};
    std::shared_ptr<ExternalEndpoint> endpoint;
    bool isControlSystem{false};
    std::shared_ptr<ReceiveChannel> receiver;
    bool canSend{false};
    std::string describe() const;
  };

  class NetworkVariable {
   public:
    std::string path;
    DataType type{DataType::int32};
    std::size_t nElements{1};
    std::string unit, description;
    std::unordered_set<std::string> tags;
    std::vector<Participant> participants;
    /// Index of the feeding participant; the control system when no module or endpoint feeds.
    std::size_t feeder{0};
    std::optional<std::size_t> controlSystem;
    /// Values may also flow from write-back inputs and the control system.
    bool bidirectional{false};

    std::mutex sendMutex;

    bool isFedByControlSystem() const { return controlSystem && feeder == *controlSystem; }

    /// Delivers `data` (the writer's vector) to every participant but `from`; a write of
    /// the control system reaches its own channel too. On a variable with several senders the
    /// deliveries of one write are not interleaved with another's, so every participant sees the
    /// writes in the same order, and the last write is the value that every participant ends with:
    /// values still waiting for a writing module are older than its write and are dropped.
    void send(std::size_t from, VectorRef data, const VersionNumber& version, DataValidity validity, bool destructive);

   private:
    /// Empties the channel of module participant `from` before it writes. Caller holds sendMutex.
    void dropSupersededValues(std::size_t from);

    /// A snapshot of `data` for the channels that share snapshots: the writer's buffer when it
    /// gives it up (it gets a recycled one of the same length back), a copy otherwise.
    template<class T>
    std::shared_ptr<ControlSystemValue<T>> makeSnapshot(
        std::vector<T>& data, bool take, const VersionNumber& version, DataValidity validity);

    template<class T>
    using PoolPointer = std::shared_ptr<SnapshotPool<T>>;
    /// Takes the pool of T's snapshots, making it on first use.
    template<class T>
    std::shared_ptr<SnapshotPool<T>> poolOf();

    // Pools of snapshots, one per type that senders of the variable write (usually one).
    std::mutex _poolMutex;
    std::vector<ValueHandle<PoolPointer>> _pools;
  };

  template<class T>
  void ValueEndpoint<T>::sendInitialValue() {
    if(!variable) return;
    auto copy = value;
    variable->send(participant, &copy, VersionNumber{}, DataValidity::ok, true);
  }

} // namespace Corvane::detail
