#include "Corvane/detail/Network.h"

#include "Corvane/detail/VariableTree.h"

#include "Corvane/Application.h"
#include "Corvane/ControlSystem.h"
#include "Corvane/Exception.h"
#include "Corvane/Module.h"
#include "Corvane/Utilities.h"

#include <algorithm>
#include <sstream>

namespace Corvane {
  std::shared_ptr<detail::ReceiveChannel> makeControlSystemChannel(
      detail::Scheduler* scheduler, DataType type, std::size_t n);
}

namespace Corvane::detail {

  namespace {
    const std::string constantPrefix = "/Corvane/Constants/";

    template<class T>
    T parseConstant(const std::string& text) {
      if constexpr(std::is_same_v<T, std::string>) return text;
      else if constexpr(std::is_same_v<T, Void>) return Void{};
      else if constexpr(std::is_same_v<T, Boolean>) return Boolean(text == "1");
      else if constexpr(std::is_floating_point_v<T>) return static_cast<T>(std::stold(text));
      else if constexpr(std::is_signed_v<T>) return static_cast<T>(std::stoll(text));
      else return static_cast<T>(std::stoull(text));
    }

  } // namespace

  std::shared_ptr<ExternalEndpoint> makeConstantEndpoint(const std::string& path) {
    if(path.rfind(constantPrefix, 0) != 0) return nullptr;
    auto rest = path.substr(constantPrefix.size());
    auto slash = rest.find('/');
    if(slash == std::string::npos) return nullptr;
    auto typeName = rest.substr(0, slash);
    auto raw = rest.substr(slash + 1);
    auto text = raw == "_" ? std::string() : Utilities::unescapeName(raw);
    for(int t = 0; t <= static_cast<int>(DataType::nodata); ++t) {
      auto type = static_cast<DataType>(t);
      if(dataTypeName(type) != typeName) continue;
      return callForType(type, [&](auto sample) -> std::shared_ptr<ExternalEndpoint> {
        using T = decltype(sample);
        auto endpoint = std::make_shared<ValueEndpoint<T>>(std::vector<T>{parseConstant<T>(text)});
        endpoint->path = path;
        endpoint->feederRank = 3;
        endpoint->what = "constant " + text;
        return endpoint;
      });
    }
    return nullptr;
  }

  std::shared_ptr<ReceiveChannel> makeModuleChannel(AccessorNode& accessor, std::size_t queueLength) {
    auto kind = accessor.mode == UpdateMode::push && !accessor.isFeeding() ? ReceiveChannel::Kind::pushQueue
                                                                            : ReceiveChannel::Kind::latest;
    return callForType(accessor.type, [&](auto sample) -> std::shared_ptr<ReceiveChannel> {
      using T = decltype(sample);
      auto channel =
          std::make_shared<TypedChannel<T>>(kind, queueLength, accessor.module->inbox, accessor.type, accessor.nElements);
      if(accessor.sharesReceivedValues) channel->acceptSnapshots();
      return channel;
    });
  }

  void Network::collect(EntityNode* node, std::map<std::string, PathGroup>& paths) {
    if(node->disabled) return;
    if(node->kind != EntityKind::application) _entities.push_back(node);
    if(node->kind == EntityKind::applicationModule) {
      node->runtime = std::make_unique<ModuleRuntime>();
      node->runtime->inbox = _app.scheduler().makeInbox(node->qualifiedName());
      _modules.push_back(node);
    }
    for(auto* accessor : node->accessors) {
      std::string error;
      auto path = Utilities::resolvePath(node->directory(), accessor->name, error);
      if(path.empty()) {
        throw logic_error("Invalid variable name '" + accessor->name + "' in " + node->qualifiedName() + ": " + error);
      }
      auto* module = node->owningModule();
      if(!module) {
        throw logic_error("Variable " + path + " of " + node->qualifiedName() + " is not inside an application module");
      }
      accessor->module = module->runtime.get();
      _accessorsOfModule[module].push_back(accessor);
      paths[path].accessors.push_back(accessor);
    }
    if(auto* module = dynamic_cast<Module*>(node->object)) {
      std::vector<std::shared_ptr<ExternalEndpoint>> endpoints;
      module->addExternalEndpoints(endpoints);
      for(auto& endpoint : endpoints) {
        paths[endpoint->path].endpoints.push_back(endpoint);
        _endpoints.push_back(endpoint);
      }
    }
    auto children = node->children; // a copy: the list is not changed here, but stay safe
    for(auto* child : children) collect(child, paths);
  }

  void Network::build() {
    std::map<std::string, PathGroup> paths;
    collect(_app.entityNode(), paths);
    for(auto& [path, group] : paths) {
      if(group.endpoints.empty()) {
        if(auto constant = makeConstantEndpoint(path)) {
          group.endpoints.push_back(constant);
          _endpoints.push_back(constant);
        }
      }
    }
    for(auto& [path, group] : paths) connectPath(path, group);
    for(auto& endpoint : _endpoints) endpoint->networkComplete();
  }

  void Network::connectPath(const std::string& path, PathGroup& group) {
    auto var = std::make_shared<NetworkVariable>();
    var->path = path;

    // the feeder and the published metadata follow the same rules as the variable model
    TreeVariable tree{path, group.accessors, {}};
    for(auto& e : group.endpoints) tree.endpoints.push_back({e, nullptr});
    auto choice = chooseFeeder(tree);
    if(!choice.conflict.empty()) throwConflict(tree, choice.conflict);
    auto meta = mergeMetadata(tree, choice);
    var->type = meta.type;
    var->nElements = meta.nElements;
    var->unit = meta.unit;
    var->description = meta.description;
    var->tags = meta.tags;
    var->bidirectional = choice.writableByControlSystem;
    bool fedByControlSystem = choice.kind == FeederChoice::Kind::controlSystem;

    auto checkParticipant = [&](DataType type, std::size_t n, bool sends) {
      if(type != DataType::nodata && var->type != DataType::nodata && n != var->nElements) {
        throwConflict(tree, "the participants have different numbers of elements");
      }
      if(!isConvertible(var->type, type)) {
        throwConflict(tree, "a participant's type cannot be converted from the variable's type");
      }
      if(sends && !isConvertible(type, var->type)) {
        throwConflict(tree, "a participant's type cannot be converted to the variable's type");
      }
    };
    for(auto* a : group.accessors) checkParticipant(a->type, a->nElements, a->direction.withReturn);
    for(auto& e : group.endpoints) checkParticipant(e->type, e->nElements, false);

    Participant feeder;
    feeder.accessor = choice.output;
    if(choice.endpoint) feeder.endpoint = choice.endpoint->endpoint;
    std::vector<AccessorNode*> inputs;
    for(auto* a : group.accessors)
      if(!a->isFeeding()) inputs.push_back(a);
    std::vector<std::shared_ptr<ExternalEndpoint>> consumers;
    for(auto* e : choice.consumingEndpoints) consumers.push_back(e->endpoint);

    // participants: feeder, inputs, consuming endpoints, control system
    auto queueLength = _app.queueLength();
    if(feeder.accessor || feeder.endpoint) {
      feeder.canSend = true;
      if(feeder.accessor && feeder.accessor->direction.withReturn) {
        feeder.receiver = makeModuleChannel(*feeder.accessor, queueLength);
      }
      var->participants.push_back(feeder);
    }
    for(auto* a : inputs) {
      Participant p;
      p.accessor = a;
      p.receiver = makeModuleChannel(*a, queueLength);
      p.canSend = a->direction.withReturn && var->bidirectional;
      var->participants.push_back(p);
    }
    for(auto& e : consumers) {
      Participant p;
      p.endpoint = e;
      p.receiver = e->makeReceiver(_app);
      var->participants.push_back(p);
    }
    if(fedByControlSystem || _app.controlSystemPublishing()) {
      Participant p;
      p.isControlSystem = true;
      p.canSend = var->bidirectional;
      p.receiver = makeControlSystemChannel(&_app.scheduler(), var->type, var->nElements);
      var->controlSystem = var->participants.size();
      var->participants.push_back(p);
    }
    if(fedByControlSystem) var->feeder = *var->controlSystem;

    for(std::size_t i = 0; i < var->participants.size(); ++i) {
      auto& p = var->participants[i];
      if(p.accessor) {
        p.accessor->variable = var;
        p.accessor->participant = i;
        p.accessor->channel = p.receiver;
        p.accessor->canSend = p.canSend;
      }
      if(p.endpoint) p.endpoint->connected(var.get(), i);
      if(p.isControlSystem) {
        _app.getControlSystem().add(
            path, std::make_unique<ControlSystemVariable>(var, i, p.receiver, p.canSend));
      }
    }
    _variables[path] = var;
  }

  void Network::sendEndpointInitialValues() {
    for(auto& endpoint : _endpoints)
      if(endpoint->isFeeder()) endpoint->sendInitialValue();
  }

  std::vector<AccessorNode*> Network::inputsOf(EntityNode* module) const {
    std::vector<AccessorNode*> result;
    auto it = _accessorsOfModule.find(module);
    if(it == _accessorsOfModule.end()) return result;
    for(auto* a : it->second)
      if(!a->isFeeding() && a->channel && a->needsInitialValue) result.push_back(a);
    return result;
  }

  std::vector<AccessorNode*> Network::outputsOf(EntityNode* module) const {
    std::vector<AccessorNode*> result;
    auto it = _accessorsOfModule.find(module);
    if(it == _accessorsOfModule.end()) return result;
    for(auto* a : it->second)
      if(a->isFeeding()) result.push_back(a);
    return result;
  }

} // namespace Corvane::detail
