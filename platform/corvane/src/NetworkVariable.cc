#include "Corvane/detail/NetworkVariable.h"

#include "Corvane/detail/Nodes.h"
#include "Corvane/detail/SnapshotPool.h"

namespace Corvane::detail {

  std::string Participant::describe() const {
    if(accessor) return accessor->describe();
    if(endpoint) return endpoint->what;
    return "control system";
  }

  std::string AccessorNode::describeFeeder() const {
    if(!variable || variable->feeder >= variable->participants.size()) return {};
    return variable->participants[variable->feeder].describe();
  }

  bool ExternalEndpoint::isFeeder() const {
    return variable && variable->participants[variable->feeder].endpoint.get() == this;
  }

  template<class T>
  std::shared_ptr<SnapshotPool<T>> NetworkVariable::poolOf() {
    std::lock_guard lock(_poolMutex);
    for(auto& pool : _pools) {
      if(pool.holds<T>()) return pool.get<T>();
    }
    auto pool = std::make_shared<SnapshotPool<T>>();
    _pools.emplace_back(pool);
    return pool;
  }

  template<class T>
  std::shared_ptr<ControlSystemValue<T>> NetworkVariable::makeSnapshot(
      std::vector<T>& data, bool take, const VersionNumber& version, DataValidity validity) {
    auto snapshot = poolOf<T>()->get();
    if(take) {
      const auto n = data.size();
      snapshot->data.swap(data);
      if(data.size() != n) data.resize(n);
    }
    else {
      snapshot->data.assign(data.begin(), data.end());
      countCopy<T>(data.size());
    }
    snapshot->version = version;
    snapshot->validity = validity;
    snapshot->sequence = 0;
    return snapshot;
  }

  void NetworkVariable::dropSupersededValues(std::size_t from) {
    const auto& participant = participants[from];
    if(!participant.accessor || !participant.receiver) return;
    // every value waiting for the writing module arrived before this write (deliveries are ordered
    // by the send lock): its own buffer holds the newer value, the one that everybody else receives
    std::lock_guard inboxLock(participant.receiver->inbox().mutex);
    participant.receiver->clear();
  }

  void NetworkVariable::send(
      std::size_t from, VectorRef data, const VersionNumber& version, DataValidity validity, bool destructive) {
    const auto sourceType = data.type();
    std::unique_lock<std::mutex> lock(sendMutex, std::defer_lock);
    if(bidirectional) {
      lock.lock();
      dropSupersededValues(from);
    }
    // the control system reads the variable through its own channel, so its writes go there too,
    // in the same order as everybody else receives them
    const bool toSender = controlSystem && from == *controlSystem;
    auto receives = [&](std::size_t i) { return participants[i].receiver && (i != from || toSender); };
    auto sharesSnapshot = [&](std::size_t i) {
      const auto& receiver = participants[i].receiver;
      return receives(i) && receiver->type() == sourceType && receiver->takesSnapshots();
    };
    bool anySnapshot = false;
    for(std::size_t i = 0; i < participants.size() && !anySnapshot; ++i) anySnapshot = sharesSnapshot(i);

    if(anySnapshot) {
      // One snapshot for every channel that shares them (the control system's first: it numbers
      // the snapshot); the others copy from it.
      VectorRef source;
      auto snapshot = data.visit([&](auto& vector) -> SnapshotHandle {
        auto value = makeSnapshot(vector, destructive, version, validity);
        source = &value->data;
        return value;
      });
      std::optional<std::size_t> numbered;
      if(controlSystem && sharesSnapshot(*controlSystem)) {
        participants[*controlSystem].receiver->deliverSnapshot(snapshot);
        numbered = controlSystem;
      }
      for(std::size_t i = 0; i < participants.size(); ++i) {
        if(i == numbered || !receives(i)) continue;
        if(sharesSnapshot(i)) {
          participants[i].receiver->deliverSnapshot(snapshot);
        }
        else {
          participants[i].receiver->deliver(source, false, version, validity);
        }
      }
      return;
    }

    // The last receiver of the writer's own type may take the buffer; everybody before it copies.
    std::size_t taker = participants.size();
    if(destructive) {
      for(std::size_t i = participants.size(); i-- > 0;) {
        if(receives(i) && participants[i].receiver->type() == sourceType) {
          taker = i;
          break;
        }
      }
    }
    for(std::size_t i = 0; i < participants.size(); ++i) {
      if(i == taker || !receives(i)) continue;
      participants[i].receiver->deliver(data, false, version, validity);
    }
    if(taker < participants.size()) participants[taker].receiver->deliver(data, true, version, validity);
  }

} // namespace Corvane::detail
