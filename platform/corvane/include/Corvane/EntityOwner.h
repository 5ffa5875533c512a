// Base of everything that owns variables or other entities: modules, groups, the application.
//
// Each entity registers with its owner when constructed and carries a name, a description and
// tags. A default-constructed entity has no owner and takes part in nothing; it can be replaced
// later by move assignment of a real one (build-late members).
#pragma once

#include "Corvane/Types.h"
#include "Corvane/VariableNetworkNode.h"

#include <list>
#include <memory>
#include <string>
#include <unordered_set>

namespace Corvane {

  namespace detail {
    struct EntityNode;
    enum class EntityKind;
  } // namespace detail

  class Module;

  class EntityOwner {
   public:
    EntityOwner();
    virtual ~EntityOwner();
    EntityOwner(EntityOwner&& other) noexcept;
    EntityOwner& operator=(EntityOwner&& other) noexcept;
    EntityOwner(const EntityOwner&) = delete;
    EntityOwner& operator=(const EntityOwner&) = delete;

    std::string getName() const;
    std::string getDescription() const;
    std::unordered_set<std::string> getTags() const;
    void addTag(const std::string& tag);

    /// Ownership path with the names as given ("/app/Group/Module"); unique per entity unless
    /// two siblings carry the same name.
    std::string getQualifiedName() const;

    /// Every accessor of this entity and everything below it, in construction order
    /// (depth first: own accessors, then each child in turn).
    std::list<VariableNetworkNode> getAccessorListRecursive() const;

    /// Path of a variable that always holds `value`; any input may read it.
    template<class T>
    static std::string constant(T value);

    /// False for default-constructed placeholders (and entities built with such an owner).
    bool hasOwner() const { return _node != nullptr; }

    detail::EntityNode* entityNode() const { return _node.get(); }

   protected:
    EntityOwner(Module* owner, detail::EntityKind kind, const std::string& name, const std::string& description,
        const std::unordered_set<std::string>& tags);

    std::unique_ptr<detail::EntityNode> _node;

   private:
    static std::string registerConstant(DataType type, const std::string& text);
  };

} // namespace Corvane

#include "Corvane/detail/ConstantImpl.h"
