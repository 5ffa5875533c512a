#include "Corvane/DotModuleGraph.h"

#include "Corvane/detail/TextSanitising.h"
#include "Corvane/detail/VariableTree.h"

#include <map>
#include <set>
#include <sstream>

namespace Corvane {

  using detail::EntityKind;
  using detail::EntityNode;
  using detail::FeederChoice;

  namespace {
    const std::string controlSystemId = "controlSystem";
    const std::string configurationId = "configuration";

    class GraphBuilder {
     public:
      explicit GraphBuilder(std::ostream& out) : _out(out) {}

      void addModules(EntityNode* node) {
        if(node->disabled) return;
        if(node->kind == EntityKind::applicationModule) idOf(node);
        for(auto* child : node->children) addModules(child);
      }

      void addVariable(const detail::TreeVariable& variable) {
        auto feeder = detail::chooseFeeder(variable);
        if(!feeder.conflict.empty()) detail::throwConflict(variable, feeder.conflict);
        std::string from = sourceOf(feeder);
        std::set<std::pair<std::string, bool>> readers;
        for(auto* a : variable.accessors) {
          if(a->isFeeding() || !a->owner) continue;
          readers.emplace(idOf(moduleOf(a->owner)), a->direction.withReturn);
        }
        for(auto* e : feeder.consumingEndpoints)
          if(e->provider) readers.emplace(idOf(e->provider), false);
        for(auto& [to, both] : readers) {
          _edges << "  \"" << from << "\" -> \"" << to << "\" [label=\"" << DotModuleGraph::escape(variable.path) << "\"";
          if(both) _edges << ", dir=both";
          _edges << "];\n";
        }
      }

      void finish(const std::string& applicationName) {
        // the name goes into the graph's label: graph identifiers know no backslash escapes
        _out << "digraph modules {\n";
        _out << "  graph [label=\"" << DotModuleGraph::escape(applicationName) << "\", labelloc=t, rankdir=LR];\n";
        _out << "  node [shape=box];\n";
        if(_controlSystemUsed) _out << "  \"" << controlSystemId << "\" [label=\"control system\", shape=ellipse];\n";
        if(_configurationUsed) _out << "  \"" << configurationId << "\" [label=\"configuration\", shape=ellipse];\n";
        _out << _nodes.str() << _edges.str() << "}\n";
      }

     private:
      static EntityNode* moduleOf(EntityNode* owner) {
        auto* module = owner->owningModule();
        return module ? module : owner;
      }

      std::string sourceOf(const FeederChoice& feeder) {
        switch(feeder.kind) {
          case FeederChoice::Kind::output:
            if(feeder.output->owner) return idOf(moduleOf(feeder.output->owner));
            break;
          case FeederChoice::Kind::device:
            if(feeder.endpoint->provider) return idOf(feeder.endpoint->provider);
            break;
          case FeederChoice::Kind::configuration:
          case FeederChoice::Kind::constant: _configurationUsed = true; return configurationId;
          case FeederChoice::Kind::controlSystem: break;
        }
        _controlSystemUsed = true;
        return controlSystemId;
      }

      std::string idOf(EntityNode* node) {
        auto it = _ids.find(node);
        if(it != _ids.end()) return it->second;
        bool module = node->kind == EntityKind::applicationModule;
        auto id = (module ? "module" : "device") + std::to_string(_ids.size());
        _ids.emplace(node, id);
        _nodes << "  \"" << id << "\" [label=\"" << DotModuleGraph::escape(node->qualifiedName()) << "\""
               << (module ? "" : ", shape=component") << "];\n";
        return id;
      }

      std::ostream& _out;
      std::map<EntityNode*, std::string> _ids;
      std::ostringstream _nodes, _edges;
      bool _controlSystemUsed{false}, _configurationUsed{false};
    };
  } // namespace

  std::string DotModuleGraph::escape(const std::string& text) {
    std::string out;
    for(char c : detail::sanitiseUtf8(text)) {
      switch(c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        default: out += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
      }
    }
    return out;
  }

  void DotModuleGraph::write(
      std::ostream& out, const std::string& applicationName, EntityNode* root, const detail::VariableTree& tree) {
    std::ostringstream text;
    GraphBuilder graph(text);
    if(root) graph.addModules(root);
    for(auto& variable : tree.variables()) graph.addVariable(variable);
    graph.finish(applicationName);
    out << text.str();
  }

} // namespace Corvane
