#include "Corvane/detail/NetworkVariable.h"

#include "Corvane/detail/Nodes.h"

namespace Corvane::detail {

  std::string Participant::describe() const {
    if(accessor) return accessor->describe();
    if(endpoint) return endpoint->what;
    return "control system";
  }

  bool ExternalEndpoint::isFeeder() const {
    return variable && variable->participants[variable->feeder].endpoint.get() == this;
  }

  void NetworkVariable::send(std::size_t from, DataType sourceType, void* data, const VersionNumber& version,
      DataValidity validity, bool destructive) {
    std::unique_lock<std::mutex> lock(sendMutex, std::defer_lock);
    if(bidirectional) lock.lock();
    // The last receiver of the writer's own type may take the buffer; everybody before it copies.
    std::size_t taker = participants.size();
    if(destructive) {
      for(std::size_t i = participants.size(); i-- > 0;) {
        if(i != from && participants[i].receiver && participants[i].receiver->type() == sourceType) {
          taker = i;
          break;
        }
      }
    }
    for(std::size_t i = 0; i < participants.size(); ++i) {
      if(i == from || i == taker || !participants[i].receiver) continue;
      participants[i].receiver->deliver(sourceType, data, false, version, validity);
    }
    if(taker < participants.size()) participants[taker].receiver->deliver(sourceType, data, true, version, validity);
  }

} // namespace Corvane::detail
