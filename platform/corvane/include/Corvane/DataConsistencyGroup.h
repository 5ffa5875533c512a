// Tells when a set of inputs holds values of one version (exact matching), e.g. all traces of
// one macro-pulse.
#pragma once

#include "Corvane/TransferElementID.h"
#include "Corvane/VariableNetworkNode.h"
#include "Corvane/VersionNumber.h"

#include <vector>

namespace Corvane {

  class DataConsistencyGroup {
   public:
    DataConsistencyGroup() = default;
    DataConsistencyGroup(std::initializer_list<VariableNetworkNode> members);

    void add(const VariableNetworkNode& member);
    template<class Accessor>
    void add(Accessor& accessor) {
      add(VariableNetworkNode(accessor.accessorNode()));
    }

    /// Call after an update of `changed`: true when that update completed a set in which every
    /// member holds the same (non-null) version, once per version. Non-members give false.
    bool update(const TransferElementID& changed);
    bool isConsistent() const;

   private:
    std::vector<VariableNetworkNode> _members;
    VersionNumber _lastCompleted{nullptr};
  };

} // namespace Corvane
