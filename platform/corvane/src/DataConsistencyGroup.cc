#include "Corvane/DataConsistencyGroup.h"

#include "Corvane/detail/Nodes.h"

#include <algorithm>

namespace Corvane {

  DataConsistencyGroup::DataConsistencyGroup(std::initializer_list<VariableNetworkNode> members) {
    for(auto& m : members) add(m);
  }

  void DataConsistencyGroup::add(const VariableNetworkNode& member) {
    if(member.isValid() && std::find(_members.begin(), _members.end(), member) == _members.end())
      _members.push_back(member);
  }

  bool DataConsistencyGroup::isConsistent() const {
    if(_members.empty()) return false;
    auto version = _members.front().accessorNode()->version;
    if(version.isNull()) return false;
    return std::all_of(_members.begin(), _members.end(),
        [&](const VariableNetworkNode& m) { return m.accessorNode()->version == version; });
  }

  bool DataConsistencyGroup::update(const TransferElementID& changed) {
    bool member = std::any_of(
        _members.begin(), _members.end(), [&](const VariableNetworkNode& m) { return m.getId() == changed; });
    if(!member || !isConsistent()) return false;
    auto version = _members.front().accessorNode()->version;
    if(version <= _lastCompleted) return false;
    _lastCompleted = version;
    return true;
  }

} // namespace Corvane
