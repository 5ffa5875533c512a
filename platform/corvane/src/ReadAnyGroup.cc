#include "Corvane/ReadAnyGroup.h"

#include "Corvane/Exception.h"
#include "Corvane/detail/Nodes.h"

#include <algorithm>

namespace Corvane {

  ReadAnyGroup::ReadAnyGroup(std::initializer_list<VariableNetworkNode> members) {
    for(auto& m : members) add(m);
  }

  void ReadAnyGroup::add(const VariableNetworkNode& member) {
    auto* node = member.accessorNode();
    if(!node) return;
    if(node->isFeeding() && !node->direction.withReturn) {
      throw logic_error("Output " + node->path() + " without read-back cannot be part of a read-any group");
    }
    auto& list = node->receivesPush() ? _push : _poll;
    if(std::find(list.begin(), list.end(), node) == list.end()) list.push_back(node);
  }

  detail::AccessorNode* ReadAnyGroup::pickLocked() const {
    detail::AccessorNode* best = nullptr;
    std::uint64_t bestSequence = 0;
    for(auto* node : _push) {
      if(!node->channel || node->channel->size() == 0) continue;
      auto sequence = node->channel->headSequence();
      if(!best || sequence < bestSequence) {
        best = node;
        bestSequence = sequence;
      }
    }
    return best;
  }

  TransferElementID ReadAnyGroup::take(bool block) {
    detail::AccessorNode* chosen = nullptr;
    detail::Inbox* inbox = nullptr;
    for(auto* node : _push)
      if(node->channel) inbox = &node->channel->inbox();
    if(!inbox) {
      if(!block) return {};
      // nothing connected: wait for shutdown only
      auto* current = detail::currentInbox();
      if(!current) throw logic_error("readAny() on a group without connected push inputs");
      std::unique_lock lock(current->mutex);
      current->wait(lock, [] { return false; });
      return {};
    }
    {
      std::unique_lock lock(inbox->mutex);
      if(block) {
        inbox->wait(lock, [&] { return (chosen = pickLocked()) != nullptr; });
      }
      else {
        chosen = pickLocked();
        if(!chosen) return {};
      }
      chosen->takeLocked();
    }
    processPolled();
    return chosen->id;
  }

  TransferElementID ReadAnyGroup::readAny() { return take(true); }
  TransferElementID ReadAnyGroup::readAnyNonBlocking() { return take(false); }

  void ReadAnyGroup::readUntil(const TransferElementID& id) {
    while(!(readAny() == id)) {
    }
  }

  void ReadAnyGroup::readUntilAll(const std::vector<TransferElementID>& ids) {
    std::set<TransferElementID> missing(ids.begin(), ids.end());
    while(!missing.empty()) missing.erase(readAny());
  }

  void ReadAnyGroup::processPolled() {
    for(auto* node : _poll) node->readLatest();
  }

} // namespace Corvane
