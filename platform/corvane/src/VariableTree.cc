#include "Corvane/detail/VariableTree.h"

#include "Corvane/Exception.h"
#include "Corvane/Utilities.h"
#include "Corvane/detail/Network.h"

#include <algorithm>
#include <sstream>

namespace Corvane::detail {

  namespace {
    void walk(EntityNode* node, const VariableTree::EndpointProvider& provider,
        const std::function<void(AccessorNode*, const std::string&)>& onAccessor,
        const std::function<void(const ProvidedEndpoint&)>& onEndpoint) {
      if(node->disabled) return;
      auto directory = node->directory();
      for(auto* accessor : node->accessors) {
        std::string error;
        auto path = Utilities::resolvePath(directory, accessor->name, error);
        if(path.empty()) {
          throw logic_error(
              "Invalid variable name '" + accessor->name + "' in " + node->qualifiedName() + ": " + error);
        }
        onAccessor(accessor, path);
      }
      if(provider) {
        std::vector<std::shared_ptr<ExternalEndpoint>> endpoints;
        provider(*node, endpoints);
        for(auto& endpoint : endpoints) {
          if(endpoint->path.empty() || endpoint->path.front() != '/') {
            throw logic_error("The " + endpoint->what + " provided by " + node->qualifiedName() +
                " has no valid path ('" + endpoint->path + "')");
          }
          onEndpoint(ProvidedEndpoint{endpoint, node});
        }
      }
      auto children = node->children;
      for(auto* child : children) walk(child, provider, onAccessor, onEndpoint);
    }

    bool feedsWithReadBack(const AccessorNode* a) { return a && a->isFeeding() && a->direction.withReturn; }

    FeederChoice::Kind kindOfRank(int rank) {
      if(rank <= 1) return FeederChoice::Kind::device;
      if(rank == 2) return FeederChoice::Kind::configuration;
      return FeederChoice::Kind::constant;
    }
  } // namespace

  EntityNode* treeRoot(EntityNode* node) {
    while(node && node->parent) node = node->parent;
    return node;
  }

  VariableTree VariableTree::collect(EntityNode* root, const EndpointProvider& provider) {
    VariableTree tree;
    tree._directories["/"].path = "/";
    if(!root) return tree;
    walk(
        root, provider, [&](AccessorNode* a, const std::string& path) { tree.variableAt(path).accessors.push_back(a); },
        [&](const ProvidedEndpoint& e) { tree.variableAt(e.endpoint->path).endpoints.push_back(e); });
    if(provider) {
      for(auto& variable : tree._variables) {
        if(!variable.endpoints.empty()) continue;
        if(auto constant = makeConstantEndpoint(variable.path)) variable.endpoints.push_back({constant, nullptr});
      }
    }
    return tree;
  }

  TreeVariable& VariableTree::variableAt(const std::string& path) {
    auto it = _variableIndex.find(path);
    if(it != _variableIndex.end()) return _variables[it->second];
    auto index = _variables.size();
    _variableIndex.emplace(path, index);
    _variables.push_back(TreeVariable{path, {}, {}});
    addDirectories(path, index);
    return _variables.back();
  }

  void VariableTree::addDirectories(const std::string& variablePath, std::size_t index) {
    auto parts = Utilities::splitPath(variablePath);
    std::string directory = "/";
    for(std::size_t i = 0; i + 1 < parts.size(); ++i) {
      auto child = (directory == "/" ? "" : directory) + "/" + parts[i];
      auto [it, inserted] = _directories.try_emplace(child);
      if(inserted) {
        it->second.path = child;
        _directories[directory].subdirectories.push_back(child);
      }
      directory = child;
    }
    _directories[directory].variables.push_back(index);
  }

  const TreeVariable* VariableTree::findVariable(const std::string& path) const {
    auto it = _variableIndex.find(path);
    return it == _variableIndex.end() ? nullptr : &_variables[it->second];
  }

  const TreeDirectory* VariableTree::findDirectory(const std::string& path) const {
    auto it = _directories.find(path);
    return it == _directories.end() ? nullptr : &it->second;
  }

  FeederChoice chooseFeeder(const TreeVariable& variable) {
    FeederChoice choice;
    std::vector<AccessorNode*> outputs;
    bool hasWriteBack = false;
    for(auto* a : variable.accessors) {
      if(a->isFeeding()) outputs.push_back(a);
      else if(a->direction.withReturn) hasWriteBack = true;
    }
    std::vector<const ProvidedEndpoint*> feeders;
    for(auto& e : variable.endpoints) {
      if(e.endpoint->feederRank > 0) feeders.push_back(&e);
      else choice.consumingEndpoints.push_back(&e);
    }
    std::stable_sort(feeders.begin(), feeders.end(),
        [](auto* a, auto* b) { return a->endpoint->feederRank < b->endpoint->feederRank; });

    if(outputs.size() > 1) choice.conflict = "more than one feeder";
    if(!outputs.empty()) {
      choice.kind = FeederChoice::Kind::output;
      choice.output = outputs.front();
    }
    else if(!feeders.empty()) {
      choice.endpoint = feeders.front();
      choice.kind = kindOfRank(choice.endpoint->endpoint->feederRank);
      feeders.erase(feeders.begin());
    }
    // further feeding endpoints can only take part as consumers
    for(auto* e : feeders) {
      if(!e->endpoint->consumes && choice.conflict.empty()) choice.conflict = "more than one feeder";
      choice.consumingEndpoints.push_back(e);
    }

    bool fedByControlSystem = choice.kind == FeederChoice::Kind::controlSystem;
    bool configurationFed = choice.kind == FeederChoice::Kind::configuration;
    if(hasWriteBack && !fedByControlSystem && !feedsWithReadBack(choice.output) && !configurationFed &&
        choice.conflict.empty()) {
      choice.conflict =
          "an input with write-back needs a variable fed by the control system or by an output with read-back";
    }
    choice.writableByControlSystem =
        fedByControlSystem || feedsWithReadBack(choice.output) || (configurationFed && hasWriteBack);
    return choice;
  }

  MergedMetadata mergeMetadata(const TreeVariable& variable, const FeederChoice& feeder) {
    MergedMetadata meta;
    if(feeder.output) {
      meta.type = feeder.output->type;
      meta.nElements = feeder.output->nElements;
    }
    else if(feeder.endpoint) {
      meta.type = feeder.endpoint->endpoint->type;
      meta.nElements = feeder.endpoint->endpoint->nElements;
    }
    else {
      const AccessorNode* first = nullptr;
      for(auto* a : variable.accessors) {
        if(a->isFeeding()) continue;
        if(a->direction.withReturn) {
          first = a;
          break;
        }
        if(!first) first = a;
      }
      if(first) {
        meta.type = first->type;
        meta.nElements = first->nElements;
      }
      else if(!variable.endpoints.empty()) {
        meta.type = variable.endpoints.front().endpoint->type;
        meta.nElements = variable.endpoints.front().endpoint->nElements;
      }
    }
    auto take = [&](const std::string& unit, const std::string& description) {
      if(meta.unit.empty()) meta.unit = unit;
      if(meta.description.empty()) meta.description = description;
    };
    if(feeder.output) take(feeder.output->unit, feeder.output->description);
    if(feeder.endpoint) take(feeder.endpoint->endpoint->unit, feeder.endpoint->endpoint->description);
    for(auto* a : variable.accessors) {
      take(a->unit, a->description);
      auto tags = a->allTags();
      meta.tags.insert(tags.begin(), tags.end());
    }
    for(auto& e : variable.endpoints) {
      take(e.endpoint->unit, e.endpoint->description);
      meta.tags.insert(e.endpoint->tags.begin(), e.endpoint->tags.end());
    }
    return meta;
  }

  void throwConflict(const TreeVariable& variable, const std::string& conflict) {
    std::ostringstream msg;
    msg << "Variable " << variable.path << ": " << conflict << ". Participants:";
    for(auto* a : variable.accessors) msg << "\n  - " << a->describe();
    for(auto& e : variable.endpoints) msg << "\n  - " << e.endpoint->what;
    throw logic_error(msg.str());
  }

} // namespace Corvane::detail
