#include "Corvane/Model.h"

#include "Corvane/EntityOwner.h"
#include "Corvane/Exception.h"
#include "Corvane/detail/VariableTree.h"

namespace Corvane::Model {

  namespace {
    detail::EntityNode* nodeOf(const EntityOwner& entity) {
      auto* node = entity.entityNode();
      if(!node) {
        throw logic_error("An entity without owner (a placeholder) is not part of an application's variable model");
      }
      return node;
    }
  } // namespace

  DirectoryProxy directoryOf(const EntityOwner& entity) {
    auto* node = nodeOf(entity);
    return DirectoryProxy(detail::treeRoot(node), node->directory());
  }

  DirectoryProxy rootDirectory(const EntityOwner& entity) { return DirectoryProxy(detail::treeRoot(nodeOf(entity)), "/"); }

} // namespace Corvane::Model
