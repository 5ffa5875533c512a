#include "Corvane/detail/Nodes.h"

#include "Corvane/Application.h"
#include "Corvane/Utilities.h"

#include <algorithm>
#include <atomic>

namespace Corvane {

  TransferElementID TransferElementID::makeNew() {
    static std::atomic<std::uint64_t> next{1};
    return TransferElementID(next.fetch_add(1, std::memory_order_relaxed));
  }

} // namespace Corvane

namespace Corvane::detail {

  EntityNode::~EntityNode() {
    detach();
    for(auto* child : children) child->parent = nullptr;
    for(auto* accessor : accessors) accessor->owner = nullptr;
  }

  void EntityNode::attachTo(EntityNode* newParent) {
    detach();
    parent = newParent;
    if(parent) parent->children.push_back(this);
  }

  void EntityNode::detach() {
    if(!parent) return;
    auto& list = parent->children;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    parent = nullptr;
  }

  std::string EntityNode::directory() const {
    if(kind == EntityKind::application || !parent) return "/";
    std::string error;
    auto result = Utilities::resolvePath(parent->directory(), name, error);
    return result.empty() ? parent->directory() : result;
  }

  std::string EntityNode::qualifiedName() const {
    if(!parent) return "/" + name;
    return parent->qualifiedName() + "/" + name;
  }

  bool EntityNode::isRegistered() const {
    const EntityNode* node = this;
    while(node->parent) node = node->parent;
    return node->kind == EntityKind::application;
  }

  bool EntityNode::isDisabled() const {
    for(const EntityNode* node = this; node; node = node->parent)
      if(node->disabled) return true;
    return false;
  }

  Application* EntityNode::application() const {
    const EntityNode* node = this;
    while(node->parent) node = node->parent;
    if(node->kind != EntityKind::application) return nullptr;
    return static_cast<Application*>(node->object);
  }

  EntityNode* EntityNode::owningModule() {
    for(EntityNode* node = this; node; node = node->parent)
      if(node->kind == EntityKind::applicationModule) return node;
    return nullptr;
  }

  std::string EntityNode::effectiveExecutionGroup() const {
    for(const EntityNode* node = this; node; node = node->parent)
      if(!node->executionGroup.empty()) return node->executionGroup;
    return {};
  }

  std::unordered_set<std::string> EntityNode::inheritedTags() const {
    std::unordered_set<std::string> all;
    for(const EntityNode* node = this; node; node = node->parent) all.insert(node->tags.begin(), node->tags.end());
    return all;
  }

  AccessorNode::~AccessorNode() { detach(); }

  void AccessorNode::attachTo(EntityNode* newOwner) {
    detach();
    owner = newOwner;
    if(owner) owner->accessors.push_back(this);
  }

  void AccessorNode::detach() {
    if(!owner) return;
    auto& list = owner->accessors;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    owner = nullptr;
  }

  std::string AccessorNode::path() const {
    if(!owner) return name;
    std::string error;
    return Utilities::resolvePath(owner->directory(), name, error);
  }

  std::unordered_set<std::string> AccessorNode::allTags() const {
    auto all = tags;
    if(owner) {
      auto inherited = owner->inheritedTags();
      all.insert(inherited.begin(), inherited.end());
    }
    return all;
  }

  std::string AccessorNode::describe() const {
    std::string what = isFeeding() ? (direction.withReturn ? "output with read-back" : "output")
                                   : (direction.withReturn ? "input with write-back" : "input");
    what += mode == UpdateMode::push ? " (push" : " (poll";
    what += ", " + std::string(dataTypeName(type)) + "[" + std::to_string(nElements) + "])";
    return what + " of " + (owner ? owner->qualifiedName() : std::string("<no owner>"));
  }

} // namespace Corvane::detail
