#include "Corvane/StatusAggregator.h"

#include "Corvane/Exception.h"
#include "Corvane/StatusWithMessage.h"
#include "Corvane/Utilities.h"
#include "Corvane/detail/Nodes.h"

#include <algorithm>
#include <map>
#include <set>

namespace Corvane {

  namespace {
    /// Higher wins. Statuses are already within OK..WARNING.
    int rank(StatusAggregator::PriorityMode mode, std::int32_t status) {
      using Mode = StatusAggregator::PriorityMode;
      switch(status) {
        case StatusOutput::FAULT: return mode == Mode::ofwk ? 3 : 4;
        case StatusOutput::WARNING: return mode == Mode::ofwk ? 2 : 3;
        case StatusOutput::OFF: return mode == Mode::ofwk ? 4 : (mode == Mode::fwok ? 1 : 2);
        default: return mode == Mode::fwok ? 2 : 1;
      }
    }

    std::string joined(const std::unordered_set<std::string>& tags) {
      std::set<std::string> sorted(tags.begin(), tags.end());
      std::string text;
      for(auto& tag : sorted) text += (text.empty() ? "" : ", ") + tag;
      return text;
    }
  } // namespace

  StatusAggregator::StatusAggregator(Module* owner, const std::string& outputName, const std::string& description,
      PriorityMode mode, const std::unordered_set<std::string>& tagsToAggregate,
      const std::unordered_set<std::string>& outputTags)
  : ApplicationModule(owner, outputName, description), _mode(mode) {
    if(!entityNode()) return; // built without owner: a placeholder
    auto leaf = Utilities::getUnqualifiedName(outputName);
    if(leaf.empty() || leaf == "." || leaf == "..") {
      throw logic_error("StatusAggregator " + getQualifiedName() + ": the output name '" + outputName +
          "' does not end in a variable name");
    }
    // the own outputs do not exist yet, so the search cannot find them
    findInputs(tagsToAggregate);
    // the module's directory is "<outputName>"; its outputs lie beside it, at "<outputName>"
    _status = StatusOutput(this, "../" + leaf, description, outputTags);
    _message = ScalarOutput<std::string>(
        this, "../" + leaf + StatusWithMessage::messageSuffix, "", description + " (message)", outputTags);
  }

  void StatusAggregator::findInputs(const std::unordered_set<std::string>& tagsToAggregate) {
    auto* root = entityNode();
    while(root->parent) root = root->parent;
    auto all = root->object->getAccessorListRecursive();

    std::map<std::string, detail::AccessorNode*> stringOutputs;
    std::vector<detail::AccessorNode*> candidates;
    std::set<std::string> coveredByNested;
    for(auto& variable : all) {
      auto* a = variable.accessorNode();
      if(!a->isFeeding() || !a->owner || a->owner->isDisabled()) continue;
      auto path = a->path();
      if(a->type == DataType::string && a->nElements == 1) stringOutputs[path] = a;
      auto tags = a->allTags();
      if(!tags.count(StatusOutput::tag)) continue;
      if(!std::all_of(tagsToAggregate.begin(), tagsToAggregate.end(), [&](auto& t) { return tags.count(t) > 0; })) {
        continue;
      }
      if(!isNumeric(a->type) || a->nElements != 1) {
        throw logic_error("StatusAggregator " + getQualifiedName() + ": the status output " + path + " (" +
            a->describe() + ") is not a numeric scalar");
      }
      candidates.push_back(a);
      auto* module = a->owner->owningModule();
      if(auto* nested = module ? dynamic_cast<StatusAggregator*>(module->object) : nullptr) {
        coveredByNested.insert(nested->_covered.begin(), nested->_covered.end());
      }
    }

    std::set<std::string> taken;
    for(auto* a : candidates) {
      auto path = a->path();
      if(coveredByNested.count(path) || !taken.insert(path).second) continue;
      Input input;
      input.path = path;
      input.status = ScalarPushInput<std::int32_t>(this, path, "", "");
      auto messagePath = path + StatusWithMessage::messageSuffix;
      if(stringOutputs.count(messagePath)) {
        input.message = ScalarPushInput<std::string>(this, messagePath, "", "");
        input.hasMessage = true;
      }
      _inputs.push_back(std::move(input));
    }
    if(_inputs.empty()) {
      throw logic_error("StatusAggregator " + getQualifiedName() + ": no status output (tag " + StatusOutput::tag +
          (tagsToAggregate.empty() ? std::string() : " with the tags " + joined(tagsToAggregate)) +
          ") was built before it");
    }
    _covered.assign(taken.begin(), taken.end());
    _covered.insert(_covered.end(), coveredByNested.begin(), coveredByNested.end());
  }

  int StatusAggregator::decidingInput(PriorityMode mode, const std::vector<std::int32_t>& statuses, bool& mixed) {
    mixed = false;
    if(statuses.empty()) return -1;
    if(mode == PriorityMode::fwWarnMixed) {
      bool anyOk = std::count(statuses.begin(), statuses.end(), StatusOutput::OK) > 0;
      bool anyOff = std::count(statuses.begin(), statuses.end(), StatusOutput::OFF) > 0;
      bool anyWorse = std::any_of(statuses.begin(), statuses.end(),
          [](auto s) { return s == StatusOutput::FAULT || s == StatusOutput::WARNING; });
      if(anyOk && anyOff && !anyWorse) {
        mixed = true;
        return static_cast<int>(std::find(statuses.begin(), statuses.end(), StatusOutput::OFF) - statuses.begin());
      }
    }
    int best = 0;
    for(int i = 1; i < static_cast<int>(statuses.size()); ++i) {
      if(rank(mode, statuses[i]) > rank(mode, statuses[best])) best = i;
    }
    return best;
  }

  std::string StatusAggregator::explain(const Input& input, std::int32_t result, bool mixed) {
    auto raw = input.status.value();
    if(input.status.dataValidity() == DataValidity::faulty) return input.path + " has invalid data";
    if(raw < StatusOutput::OK || raw > StatusOutput::WARNING) {
      return input.path + " has the unknown status value " + std::to_string(raw);
    }
    if(mixed) return input.path + " is OFF while others are OK";
    if(input.hasMessage && !input.message.value().empty()) return input.message.value();
    return input.path + " switched to " + StatusOutput::toString(result);
  }

  void StatusAggregator::mainLoop() {
    auto group = readAnyGroup();
    std::vector<std::int32_t> statuses(_inputs.size());
    while(true) {
      for(std::size_t i = 0; i < _inputs.size(); ++i) {
        auto s = _inputs[i].status.value();
        bool known = s >= StatusOutput::OK && s <= StatusOutput::WARNING;
        statuses[i] = _inputs[i].status.dataValidity() == DataValidity::faulty || !known ? StatusOutput::FAULT : s;
      }
      bool mixed = false;
      auto decider = static_cast<std::size_t>(decidingInput(_mode, statuses, mixed));
      std::int32_t result = mixed ? StatusOutput::WARNING : statuses[decider];
      auto message = result == StatusOutput::OK ? std::string() : explain(_inputs[decider], result, mixed);
      _message.writeIfDifferent(message);
      _status.writeIfDifferent(result);
      group.readAny();
    }
  }

} // namespace Corvane
