// The process variables of an application as its ownership tree declares them right now: every
// accessor of an enabled, registered entity at its resolved path (accessors of different
// entities at one path merged into one variable), grouped into the directories of the paths.
//
// The variable model answers its queries from a fresh collection, so it is current during
// construction; the XML and DOT generators also ask each entity for the endpoints it provides
// (configuration values, device registers) and decide the feeders as the network will, without
// connecting or opening anything.
#pragma once

#include "Corvane/Types.h"
#include "Corvane/detail/NetworkVariable.h"
#include "Corvane/detail/Nodes.h"

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace Corvane::detail {

  /// An endpoint and the entity whose addExternalEndpoints() provided it (null for constants).
  struct ProvidedEndpoint {
    std::shared_ptr<ExternalEndpoint> endpoint;
    EntityNode* provider{nullptr};
  };

  struct TreeVariable {
    std::string path;
    /// In declaration order (an entity's own accessors, then those of each child in turn).
    std::vector<AccessorNode*> accessors;
    std::vector<ProvidedEndpoint> endpoints;
  };

  struct TreeDirectory {
    std::string path;
    /// Absolute paths of the subdirectories and indices of the variables directly inside, both
    /// in the order of first appearance.
    std::vector<std::string> subdirectories;
    std::vector<std::size_t> variables;
  };

  /// Who feeds a variable, decided by the network's rules: a module output, else the endpoint
  /// of lowest rank (device register, configuration value, constant), else the control system.
  struct FeederChoice {
    enum class Kind { output, device, configuration, constant, controlSystem };
    Kind kind{Kind::controlSystem};
    AccessorNode* output{nullptr};
    const ProvidedEndpoint* endpoint{nullptr};
    /// Endpoints that only consume (writable registers), including feeding ones that also consume.
    std::vector<const ProvidedEndpoint*> consumingEndpoints;
    /// The control system may write the variable (it feeds it, or the variable is bidirectional).
    bool writableByControlSystem{true};
    /// Why the network would refuse the variable; empty when it is fine.
    std::string conflict;
  };

  FeederChoice chooseFeeder(const TreeVariable& variable);

  /// Type, length and metadata published for a variable: the feeder's, else the first
  /// participant's with a non-empty entry; tags are the union over all participants.
  struct MergedMetadata {
    DataType type{DataType::int32};
    std::size_t nElements{1};
    std::string unit, description;
    std::unordered_set<std::string> tags;
  };

  MergedMetadata mergeMetadata(const TreeVariable& variable, const FeederChoice& feeder);

  /// Throws logic_error naming the path, the conflict and every participant.
  [[noreturn]] void throwConflict(const TreeVariable& variable, const std::string& conflict);

  class VariableTree {
   public:
    /// Gives the endpoints that an entity provides (the generators call addExternalEndpoints).
    using EndpointProvider = std::function<void(EntityNode&, std::vector<std::shared_ptr<ExternalEndpoint>>&)>;

    /// Walks the enabled entities below and including `root`. With a provider, endpoints are
    /// collected as well, and constant paths get their constant endpoint. Throws logic_error
    /// for an accessor whose name no longer resolves.
    static VariableTree collect(EntityNode* root, const EndpointProvider& provider = {});

    /// In order of first appearance.
    const std::vector<TreeVariable>& variables() const { return _variables; }
    const TreeVariable* findVariable(const std::string& path) const;
    /// Null when no variable lies in or below `path`. The root "/" always exists.
    const TreeDirectory* findDirectory(const std::string& path) const;

   private:
    TreeVariable& variableAt(const std::string& path);
    void addDirectories(const std::string& variablePath, std::size_t index);

    std::vector<TreeVariable> _variables;
    std::unordered_map<std::string, std::size_t> _variableIndex;
    std::unordered_map<std::string, TreeDirectory> _directories;
  };

  /// The topmost entity above `node` (the application while it exists).
  EntityNode* treeRoot(EntityNode* node);

} // namespace Corvane::detail
