// Builds the variable network of an application: resolves every accessor to its path, decides
// each path's feeder, checks types and lengths, and creates the channels.
#pragma once

#include "Corvane/detail/NetworkVariable.h"
#include "Corvane/detail/Nodes.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Corvane::detail {

  class Network {
   public:
    explicit Network(Application& app) : _app(app) {}

    /// Throws logic_error naming the path and every participant for two feeders, types that do
    /// not convert, differing lengths and write-back onto a one-way variable.
    void build();

    /// Configuration values and constants.
    void sendEndpointInitialValues();

    const std::map<std::string, std::shared_ptr<NetworkVariable>>& variables() const { return _variables; }
    /// Enabled application modules in construction order (depth first).
    const std::vector<EntityNode*>& applicationModules() const { return _modules; }
    /// Every enabled module, group and variable group in prepare order.
    const std::vector<EntityNode*>& entities() const { return _entities; }
    /// Inputs of a module that need an initial value before its main loop starts.
    std::vector<AccessorNode*> inputsOf(EntityNode* module) const;
    /// Outputs of a module (for delivering never-written outputs when its thread ends).
    std::vector<AccessorNode*> outputsOf(EntityNode* module) const;

   private:
    struct PathGroup {
      std::vector<AccessorNode*> accessors;
      std::vector<std::shared_ptr<ExternalEndpoint>> endpoints;
    };

    void collect(EntityNode* node, std::map<std::string, PathGroup>& paths);
    void connectPath(const std::string& path, PathGroup& group);

    Application& _app;
    std::map<std::string, std::shared_ptr<NetworkVariable>> _variables;
    std::vector<std::shared_ptr<ExternalEndpoint>> _endpoints;
    std::vector<EntityNode*> _modules;
    std::vector<EntityNode*> _entities;
    std::map<EntityNode*, std::vector<AccessorNode*>> _accessorsOfModule;
  };

  /// Makes the endpoint of a constant path ("/Corvane/Constants/<type>/<value>"), or null.
  std::shared_ptr<ExternalEndpoint> makeConstantEndpoint(const std::string& path);

  std::shared_ptr<ReceiveChannel> makeModuleChannel(AccessorNode& accessor, std::size_t queueLength);

} // namespace Corvane::detail
