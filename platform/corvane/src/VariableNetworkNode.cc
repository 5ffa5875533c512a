#include "Corvane/VariableNetworkNode.h"

#include "Corvane/detail/Nodes.h"

namespace Corvane {

  std::string VariableNetworkNode::getName() const { return _node->name; }
  std::string VariableNetworkNode::getPath() const { return _node->path(); }
  std::string VariableNetworkNode::getUnit() const { return _node->unit; }
  std::string VariableNetworkNode::getDescription() const { return _node->description; }
  std::unordered_set<std::string> VariableNetworkNode::getTags() const { return _node->allTags(); }
  VariableDirection VariableNetworkNode::getDirection() const { return _node->direction; }
  UpdateMode VariableNetworkNode::getMode() const { return _node->mode; }
  DataType VariableNetworkNode::getValueType() const { return _node->type; }
  std::size_t VariableNetworkNode::getNumberOfElements() const { return _node->nElements; }
  TransferElementID VariableNetworkNode::getId() const { return _node->id; }

  void VariableNetworkNode::setMetaData(
      const std::string& name, const std::string& unit, const std::string& description) {
    if(!name.empty()) _node->name = name;
    _node->unit = unit;
    _node->description = description;
  }

  void VariableNetworkNode::addTag(const std::string& tag) { _node->tags.insert(tag); }

} // namespace Corvane
