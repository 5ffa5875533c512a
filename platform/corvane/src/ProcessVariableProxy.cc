#include "Corvane/ProcessVariableProxy.h"

#include "Corvane/Utilities.h"
#include "Corvane/detail/VariableTree.h"

namespace Corvane::Model {

  namespace {
    detail::MergedMetadata merged(const std::string& path, const std::vector<VariableNetworkNode>& nodes) {
      detail::TreeVariable variable{path, {}, {}};
      for(auto& node : nodes) variable.accessors.push_back(node.accessorNode());
      return detail::mergeMetadata(variable, detail::chooseFeeder(variable));
    }
  } // namespace

  ProcessVariableProxy::ProcessVariableProxy(std::string path, std::vector<VariableNetworkNode> nodes)
  : _path(std::move(path)), _nodes(std::move(nodes)) {}

  ProcessVariableProxy ProcessVariableProxy::fromTree(const detail::TreeVariable& variable) {
    std::vector<VariableNetworkNode> nodes;
    nodes.reserve(variable.accessors.size());
    for(auto* accessor : variable.accessors) nodes.emplace_back(accessor);
    return ProcessVariableProxy(variable.path, std::move(nodes));
  }

  std::string ProcessVariableProxy::getName() const { return Utilities::getUnqualifiedName(_path); }

  std::optional<VariableNetworkNode> ProcessVariableProxy::getFeedingNode() const {
    for(auto& node : _nodes)
      if(node.getDirection().dir == VariableDirection::feeding) return node;
    return std::nullopt;
  }

  DataType ProcessVariableProxy::getValueType() const { return merged(_path, _nodes).type; }
  std::size_t ProcessVariableProxy::getNumberOfElements() const { return merged(_path, _nodes).nElements; }
  std::string ProcessVariableProxy::getUnit() const { return merged(_path, _nodes).unit; }
  std::string ProcessVariableProxy::getDescription() const { return merged(_path, _nodes).description; }
  std::unordered_set<std::string> ProcessVariableProxy::getTags() const { return merged(_path, _nodes).tags; }
  bool ProcessVariableProxy::hasTag(const std::string& tag) const { return getTags().count(tag) > 0; }

} // namespace Corvane::Model
