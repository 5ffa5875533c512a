// Application::generateXML() and generateDOT(): the variable list and the module graph, from
// the ownership tree and the endpoints that entities provide, without connecting anything.
#include "Corvane/Application.h"

#include "Corvane/DotModuleGraph.h"
#include "Corvane/Exception.h"
#include "Corvane/XmlVariableList.h"
#include "Corvane/detail/VariableTree.h"

#include <fstream>
#include <sstream>

namespace Corvane {

  namespace {
    void writeFile(const std::string& fileName, const std::string& content) {
      std::ofstream file(fileName, std::ios::binary | std::ios::trunc);
      file << content;
      file.close();
      if(!file) throw runtime_error("Cannot write " + fileName);
    }
  } // namespace

  // Entities provide their configuration values and device registers through the same
  // addExternalEndpoints() that the network calls; endpoints made here are never connected.
  void Application::generateXML() {
    auto tree = detail::VariableTree::collect(entityNode(), [](detail::EntityNode& node, auto& endpoints) {
      if(auto* module = dynamic_cast<Module*>(node.object)) module->addExternalEndpoints(endpoints);
    });
    std::ostringstream text;
    XmlVariableList::write(text, getName(), tree);
    writeFile(getName() + ".xml", text.str());
  }

  void Application::generateDOT() {
    auto tree = detail::VariableTree::collect(entityNode(), [](detail::EntityNode& node, auto& endpoints) {
      if(auto* module = dynamic_cast<Module*>(node.object)) module->addExternalEndpoints(endpoints);
    });
    std::ostringstream text;
    DotModuleGraph::write(text, getName(), entityNode(), tree);
    writeFile(getName() + ".dot", text.str());
  }

} // namespace Corvane
