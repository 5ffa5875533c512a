// The module graph of an application in Graphviz DOT: what Application::generateDOT() writes
// to "<application name>.dot" (render with e.g. `dot -Tsvg tessarel.dot -o tessarel.svg`).
//
// The graph is labelled with the application's name. Nodes: every enabled application module (a box labelled with its qualified name), a
// "control system" and a "configuration" node (ellipses) when something reads from them, and
// each entity that provides device registers (a component shape). Edges, one per variable
// and reader, labelled with the variable's path: from the writer (the module whose output
// feeds it, the device module of a register, "configuration" for configuration values and
// constants, "control system" for operator settings) to each module that reads it and to
// each device that takes it. An edge to a reader that also writes back is drawn both ways.
// Every variable is also published to the control system; those edges are not drawn.
#pragma once

#include <ostream>
#include <string>

namespace Corvane::detail {
  class VariableTree;
  struct EntityNode;
} // namespace Corvane::detail

namespace Corvane {

  class DotModuleGraph {
   public:
    /// `root` is the application's entity node, `tree` its variables with their endpoints.
    /// Throws logic_error for a variable the network would refuse for its feeders.
    static void write(std::ostream& out, const std::string& applicationName, detail::EntityNode* root,
        const detail::VariableTree& tree);

    /// `text` as the content of a DOT double-quoted label string.
    static std::string escape(const std::string& text);
  };

} // namespace Corvane
