// A handle on one declared accessor, as listed by getAccessorListRecursive(): its name,
// metadata, tags, direction and mode, and the means to change its published metadata.
#pragma once

#include "Corvane/TransferElementID.h"
#include "Corvane/Types.h"
#include "Corvane/detail/Flags.h"

#include <string>
#include <unordered_set>

namespace Corvane {

  namespace detail {
    struct AccessorNode;
  }

  class VariableNetworkNode {
   public:
    VariableNetworkNode() = default;
    explicit VariableNetworkNode(detail::AccessorNode* node) : _node(node) {}

    /// The name as declared (relative to the owner, may hold "/" and "..").
    std::string getName() const;
    /// The absolute path the name resolves to.
    std::string getPath() const;
    std::string getUnit() const;
    std::string getDescription() const;
    std::unordered_set<std::string> getTags() const;
    VariableDirection getDirection() const;
    UpdateMode getMode() const;
    DataType getValueType() const;
    std::size_t getNumberOfElements() const;
    TransferElementID getId() const;

    /// Changes name, unit and description; what is published (control system, variable list)
    /// follows. An empty name keeps the current one.
    void setMetaData(const std::string& name, const std::string& unit, const std::string& description);
    void addTag(const std::string& tag);

    bool isValid() const { return _node != nullptr; }
    detail::AccessorNode* accessorNode() const { return _node; }
    friend bool operator==(const VariableNetworkNode& a, const VariableNetworkNode& b) { return a._node == b._node; }

   private:
    detail::AccessorNode* _node{nullptr};
  };

} // namespace Corvane
