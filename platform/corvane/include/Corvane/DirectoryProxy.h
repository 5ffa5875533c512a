// One directory of the variable model: an absolute path in the variable tree of an application,
// with the directories and process variables below it.
//
// Directories are implied by the paths of the declared variables; they belong to no entity (a
// directory may hold variables of many modules, declared with relative or absolute names). A
// proxy is a view: every query answers from the ownership tree as it stands at that moment,
// so a constructor sees every variable declared before it. Ownerless and disabled entities
// take no part.
#pragma once

#include "Corvane/ProcessVariableProxy.h"

#include <optional>
#include <string>
#include <vector>

namespace Corvane {
  namespace detail {
    struct EntityNode;
  }
} // namespace Corvane

namespace Corvane::Model {

  class DirectoryProxy {
   public:
    /// `root` is the topmost entity of the tree (the application), `path` absolute and normalised.
    DirectoryProxy(detail::EntityNode* root, std::string path);

    /// Absolute path, "/" for the root.
    const std::string& getPath() const { return _path; }
    /// Last component of the path, "/" for the root.
    std::string getName() const;

    /// Whether any process variable lies in this directory or below it.
    bool exists() const;

    /// Process variables directly in this directory, in order of first declaration.
    std::vector<ProcessVariableProxy> getProcessVariables() const;
    /// Directories directly below this one, in order of first appearance.
    std::vector<DirectoryProxy> getSubdirectories() const;

    /// The directory that `name` leads to from here ("sub/dir", "..", "/abs"). Throws
    /// logic_error for a name that does not resolve.
    DirectoryProxy getDirectory(const std::string& name) const;
    /// The variable that `name` leads to from here, if one is declared there.
    std::optional<ProcessVariableProxy> getProcessVariable(const std::string& name) const;
    /// The directory holding this one (the root for the root).
    DirectoryProxy getParent() const;

    detail::EntityNode* rootNode() const { return _root; }

    friend bool operator==(const DirectoryProxy& a, const DirectoryProxy& b) {
      return a._root == b._root && a._path == b._path;
    }

   private:
    std::string resolve(const std::string& name) const;

    detail::EntityNode* _root;
    std::string _path;
  };

} // namespace Corvane::Model
