// One process variable of the variable model: a path and every accessor declared at it, by
// whichever entity. Type, length and metadata are those the network will publish (the
// feeding output's, else the first accessor's with a non-empty entry; tags merged), read from
// the accessors when asked, so later changes of unit or description show.
#pragma once

#include "Corvane/Types.h"
#include "Corvane/VariableNetworkNode.h"

#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace Corvane::detail {
  struct TreeVariable;
}

namespace Corvane::Model {

  class ProcessVariableProxy {
   public:
    ProcessVariableProxy(std::string path, std::vector<VariableNetworkNode> nodes);
    /// The accessors of one collected variable (endpoints are not part of the model).
    static ProcessVariableProxy fromTree(const detail::TreeVariable& variable);

    /// Absolute path, e.g. "/Controller/Configuration/tableBufferMode/x/inhibit".
    const std::string& getFullyQualifiedPath() const { return _path; }
    /// Last component of the path.
    std::string getName() const;

    /// Every accessor at this path in declaration order, each with its own direction and mode.
    const std::vector<VariableNetworkNode>& getNodes() const { return _nodes; }
    /// The output that feeds the variable, if a module feeds it.
    std::optional<VariableNetworkNode> getFeedingNode() const;

    DataType getValueType() const;
    std::size_t getNumberOfElements() const;
    std::string getUnit() const;
    std::string getDescription() const;
    std::unordered_set<std::string> getTags() const;
    bool hasTag(const std::string& tag) const;

    friend bool operator==(const ProcessVariableProxy& a, const ProcessVariableProxy& b) {
      return a._path == b._path && a._nodes == b._nodes;
    }

   private:
    std::string _path;
    std::vector<VariableNetworkNode> _nodes;
  };

} // namespace Corvane::Model
