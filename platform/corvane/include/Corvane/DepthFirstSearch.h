// Depth-first search along the directory tree of the variable model: a start directory and
// every directory and process variable below it, pre-order (a directory, then its variables,
// then each subdirectory in turn; each in order of first appearance).
//
//   auto clients = Model::DepthFirstSearch(Model::directoryOf(*this), Model::keepTag("X")).processVariables();
//
// The search collects the tree when it runs, so it sees exactly the variables declared so far.
#pragma once

#include "Corvane/DirectoryProxy.h"
#include "Corvane/VariableFilter.h"

#include <functional>
#include <vector>

namespace Corvane::Model {

  class DepthFirstSearch {
   public:
    explicit DepthFirstSearch(DirectoryProxy start, VariableFilter filter = keepAll());

    /// Calls onDirectory for every directory (the start first) and onVariable for every
    /// variable that passes the filter, in search order. Either callback may be empty.
    void visit(const std::function<void(const DirectoryProxy&)>& onDirectory,
        const std::function<void(const ProcessVariableProxy&)>& onVariable) const;

    /// The variables that pass the filter, in search order.
    std::vector<ProcessVariableProxy> processVariables() const;
    /// The start directory and every directory below it, in search order.
    std::vector<DirectoryProxy> directories() const;

   private:
    DirectoryProxy _start;
    VariableFilter _filter;
  };

} // namespace Corvane::Model
