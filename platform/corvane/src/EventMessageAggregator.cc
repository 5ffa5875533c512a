#include "Corvane/EventMessageAggregator.h"

#include "Corvane/AggregatableMessage.h"
#include "Corvane/detail/Nodes.h"

#include <algorithm>
#include <numeric>
#include <set>
#include <unordered_map>

namespace Corvane {

  EventMessageAggregator::EventMessageAggregator(
      Module* owner, const std::string& name, const std::string& description)
  : ApplicationModule(owner, name, description) {
    if(!entityNode()) return; // built without owner: a placeholder
    auto* root = entityNode();
    while(root->parent) root = root->parent;
    std::set<std::string> taken;
    for(auto& variable : root->object->getAccessorListRecursive()) {
      auto* a = variable.accessorNode();
      if(!a->isFeeding() || !a->owner || a->owner->isDisabled()) continue;
      if(a->type != DataType::string || a->nElements != 1 || !a->allTags().count(AggregatableMessage::tag)) continue;
      auto path = a->path();
      if(taken.insert(path).second) _inputs.emplace_back(this, path, "", "");
    }
    _source = ScalarOutput<std::string>(this, "source", "", "Path of the variable that sent the latest event message");
    _message = ScalarOutput<std::string>(this, "message", "", "Latest event message");
  }

  void EventMessageAggregator::publish(const ScalarPushInput<std::string>& input) {
    _source.setAndWrite(input.getName());
    _message.setAndWrite(input.value());
  }

  void EventMessageAggregator::mainLoop() {
    // the initial values are the first events, in the order they were written
    std::vector<std::size_t> order(_inputs.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
        [&](auto a, auto b) { return _inputs[a].getVersionNumber() < _inputs[b].getVersionNumber(); });
    bool published = false;
    for(auto i : order) {
      if(_inputs[i].value().empty()) continue;
      publish(_inputs[i]);
      published = true;
    }
    if(!published) {
      _source.write();
      _message.write();
    }
    if(_inputs.empty()) return;

    std::unordered_map<TransferElementID, std::size_t> byId;
    for(std::size_t i = 0; i < _inputs.size(); ++i) byId.emplace(_inputs[i].getId(), i);
    auto group = readAnyGroup();
    while(true) {
      auto& input = _inputs[byId.at(group.readAny())];
      if(!input.value().empty()) publish(input);
    }
  }

} // namespace Corvane
