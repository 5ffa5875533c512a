#include "Corvane/EntityOwner.h"

#include "Corvane/Application.h"
#include "Corvane/Exception.h"
#include "Corvane/Module.h"
#include "Corvane/Utilities.h"
#include "Corvane/detail/Nodes.h"

namespace Corvane {

  using detail::EntityKind;

  namespace {
    std::string kindName(EntityKind kind) {
      switch(kind) {
        case EntityKind::application: return "application";
        case EntityKind::moduleGroup: return "module group";
        case EntityKind::applicationModule: return "application module";
        case EntityKind::variableGroup: return "variable group";
        case EntityKind::deviceModule: return "device module";
      }
      return "entity";
    }

    bool mayOwn(EntityKind owner, EntityKind child) {
      bool ownerHoldsModules = owner == EntityKind::application || owner == EntityKind::moduleGroup;
      bool ownerHoldsVariables = owner == EntityKind::applicationModule || owner == EntityKind::variableGroup;
      switch(child) {
        case EntityKind::variableGroup: return ownerHoldsVariables;
        case EntityKind::application: return false;
        default: return ownerHoldsModules;
      }
    }
  } // namespace

  EntityOwner::EntityOwner() = default;

  EntityOwner::EntityOwner(Module* owner, EntityKind kind, const std::string& name, const std::string& description,
      const std::unordered_set<std::string>& tags) {
    if(kind == EntityKind::application) {
      _node = std::make_unique<detail::EntityNode>(kind, name, description, tags);
      _node->object = this;
      return;
    }
    if(!owner || !owner->_node) return; // ownerless: a placeholder that takes part in nothing
    auto* parent = owner->_node.get();
    if(!mayOwn(parent->kind, kind)) {
      throw logic_error("A " + kindName(kind) + " named '" + name + "' cannot be owned by the " +
          kindName(parent->kind) + " " + parent->qualifiedName());
    }
    std::string error;
    if(Utilities::resolvePath(parent->directory(), name, error).empty()) {
      throw logic_error("Invalid name '" + name + "' for a " + kindName(kind) + " owned by " +
          parent->qualifiedName() + ": " + error);
    }
    _node = std::make_unique<detail::EntityNode>(kind, name, description, tags);
    _node->object = this;
    _node->attachTo(parent);
  }

  EntityOwner::~EntityOwner() = default;

  EntityOwner::EntityOwner(EntityOwner&& other) noexcept : _node(std::move(other._node)) {
    if(_node) _node->object = this;
  }

  EntityOwner& EntityOwner::operator=(EntityOwner&& other) noexcept {
    if(this == &other) return *this;
    _node = std::move(other._node);
    if(_node) _node->object = this;
    return *this;
  }

  std::string EntityOwner::getName() const { return _node ? _node->name : std::string{}; }
  std::string EntityOwner::getDescription() const { return _node ? _node->description : std::string{}; }
  std::unordered_set<std::string> EntityOwner::getTags() const {
    return _node ? _node->tags : std::unordered_set<std::string>{};
  }
  void EntityOwner::addTag(const std::string& tag) {
    if(_node) _node->tags.insert(tag);
  }

  std::string EntityOwner::getQualifiedName() const { return _node ? _node->qualifiedName() : std::string{}; }

  std::list<VariableNetworkNode> EntityOwner::getAccessorListRecursive() const {
    std::list<VariableNetworkNode> list;
    if(!_node) return list;
    auto visit = [&](auto& self, const detail::EntityNode* node) -> void {
      for(auto* accessor : node->accessors) list.emplace_back(accessor);
      for(auto* child : node->children) self(self, child);
    };
    visit(visit, _node.get());
    return list;
  }

  std::string EntityOwner::registerConstant(DataType type, const std::string& text) {
    return "/Corvane/Constants/" + std::string(dataTypeName(type)) + "/" +
        (text.empty() ? std::string("_") : Utilities::escapeName(text, false));
  }

} // namespace Corvane
