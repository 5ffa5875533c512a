#include "Corvane/DepthFirstSearch.h"

#include "Corvane/detail/VariableTree.h"

namespace Corvane::Model {

  DepthFirstSearch::DepthFirstSearch(DirectoryProxy start, VariableFilter filter)
  : _start(std::move(start)), _filter(std::move(filter)) {}

  void DepthFirstSearch::visit(const std::function<void(const DirectoryProxy&)>& onDirectory,
      const std::function<void(const ProcessVariableProxy&)>& onVariable) const {
    auto tree = detail::VariableTree::collect(_start.rootNode());
    auto descend = [&](auto& self, const std::string& path) -> void {
      if(onDirectory) onDirectory(DirectoryProxy(_start.rootNode(), path));
      auto* directory = tree.findDirectory(path);
      if(!directory) return;
      for(auto index : directory->variables) {
        auto variable = ProcessVariableProxy::fromTree(tree.variables()[index]);
        if(onVariable && _filter(variable)) onVariable(variable);
      }
      for(auto& sub : directory->subdirectories) self(self, sub);
    };
    descend(descend, _start.getPath());
  }

  std::vector<ProcessVariableProxy> DepthFirstSearch::processVariables() const {
    std::vector<ProcessVariableProxy> result;
    visit({}, [&](const ProcessVariableProxy& v) { result.push_back(v); });
    return result;
  }

  std::vector<DirectoryProxy> DepthFirstSearch::directories() const {
    std::vector<DirectoryProxy> result;
    visit([&](const DirectoryProxy& d) { result.push_back(d); }, {});
    return result;
  }

} // namespace Corvane::Model
