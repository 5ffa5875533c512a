#include "Corvane/XmlVariableList.h"

#include "Corvane/StatusOutput.h"
#include "Corvane/Utilities.h"
#include "Corvane/detail/TextSanitising.h"
#include "Corvane/detail/VariableTree.h"

#include <algorithm>
#include <map>
#include <sstream>

namespace Corvane {

  using detail::FeederChoice;

  namespace {
    struct Entry {
      const detail::TreeVariable* variable;
      FeederChoice feeder;
    };

    struct Directory {
      std::map<std::string, Directory> subdirectories;
      std::map<std::string, Entry> variables;
    };

    std::string feederName(FeederChoice::Kind kind) {
      switch(kind) {
        case FeederChoice::Kind::output: return "output";
        case FeederChoice::Kind::device: return "device";
        case FeederChoice::Kind::configuration: return "configuration";
        case FeederChoice::Kind::constant: return "constant";
        case FeederChoice::Kind::controlSystem: return "control_system";
      }
      return "?";
    }

    std::string directionName(const FeederChoice& feeder) {
      if(feeder.kind == FeederChoice::Kind::controlSystem) return "control_system_to_application";
      return feeder.writableByControlSystem ? "bidirectional" : "application_to_control_system";
    }

    void writeVariable(std::ostream& out, const std::string& indent, const std::string& name, const Entry& entry) {
      auto meta = detail::mergeMetadata(*entry.variable, entry.feeder);
      out << indent << "<variable name=\"" << XmlVariableList::escape(name) << "\" path=\""
          << XmlVariableList::escape(entry.variable->path) << "\" type=\"" << dataTypeName(meta.type)
          << "\" length=\"" << meta.nElements << "\" unit=\"" << XmlVariableList::escape(meta.unit)
          << "\" direction=\"" << directionName(entry.feeder) << "\" writable=\""
          << (entry.feeder.writableByControlSystem ? "true" : "false") << "\" feeder=\""
          << feederName(entry.feeder.kind) << "\""
          << (StatusOutput::isStatus(meta.type, meta.tags) ? " status=\"true\"" : "") << ">\n";
      out << indent << "  <description>" << XmlVariableList::escape(meta.description) << "</description>\n";
      std::vector<std::string> tags(meta.tags.begin(), meta.tags.end());
      std::sort(tags.begin(), tags.end());
      for(auto& tag : tags) out << indent << "  <tag>" << XmlVariableList::escape(tag) << "</tag>\n";
      out << indent << "</variable>\n";
    }

    void writeDirectory(std::ostream& out, const std::string& indent, const Directory& directory) {
      for(auto& [name, entry] : directory.variables) writeVariable(out, indent, name, entry);
      for(auto& [name, sub] : directory.subdirectories) {
        out << indent << "<directory name=\"" << XmlVariableList::escape(name) << "\">\n";
        writeDirectory(out, indent + "  ", sub);
        out << indent << "</directory>\n";
      }
    }
  } // namespace

  std::string XmlVariableList::escape(const std::string& text) {
    std::string out;
    for(char c : detail::sanitiseUtf8(text)) {
      switch(c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        // kept through attribute-value normalisation and line-end handling
        case '\t': out += "&#9;"; break;
        case '\n': out += "&#10;"; break;
        case '\r': out += "&#13;"; break;
        default: out += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
      }
    }
    return out;
  }

  void XmlVariableList::write(std::ostream& out, const std::string& applicationName, const detail::VariableTree& tree) {
    Directory root;
    for(auto& variable : tree.variables()) {
      auto feeder = detail::chooseFeeder(variable);
      if(!feeder.conflict.empty()) detail::throwConflict(variable, feeder.conflict);
      auto parts = Utilities::splitPath(variable.path);
      Directory* directory = &root;
      for(std::size_t i = 0; i + 1 < parts.size(); ++i) directory = &directory->subdirectories[parts[i]];
      directory->variables.insert_or_assign(parts.empty() ? std::string() : parts.back(), Entry{&variable, feeder});
    }
    std::ostringstream text;
    text << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    text << "<application name=\"" << escape(applicationName) << "\">\n";
    writeDirectory(text, "  ", root);
    text << "</application>\n";
    out << text.str();
  }

} // namespace Corvane
