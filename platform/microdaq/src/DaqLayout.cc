#include "Corvane/DaqLayout.h"

#include "Corvane/Exception.h"
#include "Corvane/Utilities.h"

#include <map>
#include <set>

namespace Corvane {

  DaqLayout::DaqLayout(std::vector<DaqVariable> variables) : _variables(std::move(variables)) {
    std::map<std::string, std::string> pathOfStoredName;
    std::set<std::string> directories;
    std::vector<std::vector<std::string>> components;
    for(auto& variable : _variables) {
      auto parts = Utilities::splitPath(variable.storedName);
      if(parts.empty()) throw logic_error("MicroDAQ: variable " + variable.path + " has an empty stored name");
      std::string normalised;
      for(auto& part : parts) normalised += (normalised.empty() ? "" : "/") + part;
      auto [it, inserted] = pathOfStoredName.emplace(normalised, variable.path);
      if(!inserted) {
        throw logic_error("MicroDAQ: variables " + it->second + " and " + variable.path +
            " would both be stored as '" + normalised + "'");
      }
      variable.storedName = normalised;
      std::string prefix;
      for(std::size_t i = 0; i + 1 < parts.size(); ++i) {
        prefix += (prefix.empty() ? "" : "/") + parts[i];
        directories.insert(prefix);
      }
      components.push_back(std::move(parts));
    }

    // groups in first-use order, each parent before its children
    std::map<std::string, int> groupIndex;
    auto groupFor = [&](const std::vector<std::string>& parts, std::size_t depth) {
      int parent = -1;
      std::string prefix;
      for(std::size_t i = 0; i < depth; ++i) {
        prefix += (prefix.empty() ? "" : "/") + parts[i];
        auto it = groupIndex.find(prefix);
        if(it == groupIndex.end()) {
          _groups.push_back(Group{parent, parts[i]});
          it = groupIndex.emplace(prefix, static_cast<int>(_groups.size() - 1)).first;
        }
        parent = it->second;
      }
      return parent;
    };

    for(std::size_t v = 0; v < _variables.size(); ++v) {
      auto& parts = components[v];
      if(directories.count(_variables[v].storedName)) {
        _groupOf.push_back(groupFor(parts, parts.size()));
        _datasetName.emplace_back(valueInGroupName);
      }
      else {
        _groupOf.push_back(groupFor(parts, parts.size() - 1));
        _datasetName.push_back(parts.back());
      }
    }
  }

} // namespace Corvane
