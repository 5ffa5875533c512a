#include "Corvane/UserInputValidator.h"

#include "Corvane/Logger.h"
#include "Corvane/detail/Nodes.h"

#include <algorithm>
#include <mutex>

namespace Corvane {

  bool UserInputValidator::validate(const TransferElementID& changed) {
    std::vector<std::size_t> selected;
    std::size_t changedIndex = _variables.size();
    if(changed.isValid()) {
      auto it = _index.find(changed);
      if(it == _index.end()) return false;
      changedIndex = it->second;
    }
    for(std::size_t r = 0; r < _rules.size(); ++r) {
      auto& vars = _rules[r].variables;
      if(!changed.isValid() || std::find(vars.begin(), vars.end(), changedIndex) != vars.end()) selected.push_back(r);
    }
    if(selected.empty()) return false;

    // a value no newer than one checked or sent back before is another module's answer to that write
    bool answersAWrite = false;
    if(changed.isValid()) {
      auto& input = *_variables[changedIndex];
      answersAWrite = !input.checkedVersion.isNull() && input.node->version <= input.checkedVersion;
      if(!answersAWrite) input.checkedVersion = input.node->version;
    }

    bool replaced = false;
    std::vector<bool> reported(_rules.size(), false);
    std::vector<bool> restored(_variables.size(), false);
    std::vector<std::size_t> failed;
    // Sweep until no restore changes a value any more: a restored value may break a rule that
    // was checked before it. Each input changes at most once (to its fixed target), so this ends.
    while(true) {
      failed.clear();
      bool changedInSweep = false;
      for(auto r : selected) {
        auto& rule = _rules[r];
        if(holds(rule)) continue;
        failed.push_back(r);
        if(!reported[r]) {
          reported[r] = true;
          report(rule.message);
        }
        for(auto v : rule.variables) {
          if(_variables[v]->restore()) changedInSweep = replaced = restored[v] = true;
        }
      }
      if(!changedInSweep) break;
    }

    // Send the restored values back, unless this answers another module's answer.
    for(std::size_t v = 0; v < _variables.size() && !answersAWrite; ++v) {
      if(!restored[v]) continue;
      sendBack(*_variables[v]->node);
      _variables[v]->checkedVersion = _variables[v]->node->version;
    }

    // Accept what passed: the changed input, or at the first check every watched input.
    auto inFailedRule = [&](std::size_t v) {
      return std::any_of(failed.begin(), failed.end(), [&](std::size_t r) {
        auto& vars = _rules[r].variables;
        return std::find(vars.begin(), vars.end(), v) != vars.end();
      });
    };
    if(changed.isValid()) {
      if(!inFailedRule(changedIndex)) _variables[changedIndex]->accept();
    }
    else {
      for(auto r : selected)
        for(auto v : _rules[r].variables)
          if(!inFailedRule(v)) _variables[v]->accept();
    }
    return replaced;
  }

  void UserInputValidator::sendBack(detail::AccessorNode& node) {
    if(!node.direction.withReturn || !node.canSend) return;
    if(node.channel) {
      std::lock_guard lock(node.channel->inbox().mutex);
      if(node.channel->size() > 0) return;
    }
    node.write(false);
  }

  void UserInputValidator::checkInput(const detail::AccessorNode& node) {
    if(node.isFeeding()) {
      throw logic_error("UserInputValidator: " + node.path() + " is an output (" + node.describe() +
          "); rules can only watch inputs");
    }
  }

  bool UserInputValidator::holds(const Rule& rule) const {
    try {
      return rule.predicate();
    }
    catch(std::exception& e) {
      std::string inputs;
      for(auto v : rule.variables) inputs += (inputs.empty() ? "" : ", ") + _variables[v]->node->path();
      throw logic_error("UserInputValidator: the rule \"" + rule.message + "\" on " + inputs +
          " could not be evaluated: " + e.what());
    }
  }

  void UserInputValidator::report(const std::string& message) const {
    if(_errorFunction) _errorFunction(message);
    else Logger::instance().log(Logger::Severity::warning, "UserInputValidator", message);
  }

} // namespace Corvane
