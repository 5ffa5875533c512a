#include "Corvane/DirectoryProxy.h"

#include "Corvane/Exception.h"
#include "Corvane/Utilities.h"
#include "Corvane/detail/VariableTree.h"

namespace Corvane::Model {

  DirectoryProxy::DirectoryProxy(detail::EntityNode* root, std::string path) : _root(root), _path(std::move(path)) {}

  std::string DirectoryProxy::getName() const { return _path == "/" ? _path : Utilities::getUnqualifiedName(_path); }

  bool DirectoryProxy::exists() const {
    auto tree = detail::VariableTree::collect(_root);
    auto* directory = tree.findDirectory(_path);
    return directory && (!directory->variables.empty() || !directory->subdirectories.empty());
  }

  std::vector<ProcessVariableProxy> DirectoryProxy::getProcessVariables() const {
    std::vector<ProcessVariableProxy> result;
    auto tree = detail::VariableTree::collect(_root);
    if(auto* directory = tree.findDirectory(_path))
      for(auto index : directory->variables) result.push_back(ProcessVariableProxy::fromTree(tree.variables()[index]));
    return result;
  }

  std::vector<DirectoryProxy> DirectoryProxy::getSubdirectories() const {
    std::vector<DirectoryProxy> result;
    auto tree = detail::VariableTree::collect(_root);
    if(auto* directory = tree.findDirectory(_path))
      for(auto& path : directory->subdirectories) result.emplace_back(_root, path);
    return result;
  }

  std::string DirectoryProxy::resolve(const std::string& name) const {
    std::string error;
    auto path = Utilities::resolvePath(_path, name, error);
    if(path.empty()) throw logic_error("Cannot go from directory " + _path + " to '" + name + "': " + error);
    return path;
  }

  DirectoryProxy DirectoryProxy::getDirectory(const std::string& name) const { return {_root, resolve(name)}; }

  std::optional<ProcessVariableProxy> DirectoryProxy::getProcessVariable(const std::string& name) const {
    auto path = resolve(name);
    auto tree = detail::VariableTree::collect(_root);
    if(auto* variable = tree.findVariable(path)) return ProcessVariableProxy::fromTree(*variable);
    return std::nullopt;
  }

  DirectoryProxy DirectoryProxy::getParent() const { return {_root, Utilities::getPathName(_path)}; }

} // namespace Corvane::Model
