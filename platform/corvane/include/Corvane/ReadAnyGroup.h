// Waits for the next update of any of several inputs of one module.
//
// Members are push inputs (with or without write-back) and outputs with read-back; updates are
// taken one at a time in arrival order. Poll members never wake the group; they are brought up
// to date every time the group returns.
#pragma once

#include "Corvane/TransferElementID.h"
#include "Corvane/VariableNetworkNode.h"

#include <set>
#include <vector>

namespace Corvane {

  namespace detail {
    struct AccessorNode;
  }

  class ReadAnyGroup {
   public:
    ReadAnyGroup() = default;
    ReadAnyGroup(std::initializer_list<VariableNetworkNode> members);

    /// Adds an accessor (push members wake the group, poll members are refreshed).
    void add(const VariableNetworkNode& member);
    template<class Accessor>
    void add(Accessor& accessor) {
      add(VariableNetworkNode(accessor.accessorNode()));
    }
    /// Kept for symmetry with other frameworks: the group is usable at any time.
    void finalise() {}

    /// Waits for an update, takes it and returns the id of the accessor that received it.
    TransferElementID readAny();
    /// Takes an update if one is pending; an empty id otherwise.
    TransferElementID readAnyNonBlocking();
    /// Takes updates until `id` was updated.
    void readUntil(const TransferElementID& id);
    /// Takes updates until every accessor in `ids` was updated at least once.
    void readUntilAll(const std::vector<TransferElementID>& ids);

    /// Brings the poll members up to date.
    void processPolled();

   private:
    detail::AccessorNode* pickLocked() const;
    TransferElementID take(bool block);

    std::vector<detail::AccessorNode*> _push;
    std::vector<detail::AccessorNode*> _poll;
  };

} // namespace Corvane
