// Checks operator input of one module against rules and puts rejected values back.
//
// A rule is a message, a predicate without arguments and the inputs it watches. `validate(id)`
// checks the rules that watch the input with that id, or every rule for an empty id (the first
// check at start). For each failing rule the error function gets the rule's message and every
// input of the rule returns to its last accepted value, or to its fallback when it has none yet.
// An input with write-back sends the restored value back (the control system and every other
// reader then see it; the module's own read-any group is never woken by it); other inputs are
// restored in the module only. With neither an accepted value nor a fallback the value is kept
// and only reported. A restored value may break a rule checked before it; the rules are checked
// again until nothing changes (each message is reported once per call). A restore is not sent
// back while a newer value of the input already waits for the module: that value supersedes it.
// Nor is it sent back when the rejected value is no newer than one the validator has checked or
// sent before: a write-back carries the version of the write it answers, so this is another
// module's answer to the same write. Where no value satisfies the rules of two modules that guard
// one setting with different fallbacks (a pulse too short for any flat-top), they would otherwise
// send each other their values for ever; so every write gets one answer from each module.
// Afterwards the changed input (at the first check: every input of a rule that holds) is
// accepted unless a rule on it still fails; the validator keeps a short history per input.
//
// Inputs read by a predicate but not listed in the rule are not watched: their changes never
// reject anything. A rule that should only guard changes (not the value found at start) can ask
// `lastAcceptedValue()`: at the first check no value has been accepted yet.
//
// Used by one module thread only (rules are usually registered in prepare()). A predicate that
// throws is a programming error: validate() throws logic_error naming the rule's message.
#pragma once

#include "Corvane/Exception.h"
#include "Corvane/ScalarAccessor.h"
#include "Corvane/TransferElementID.h"
#include "Corvane/VersionNumber.h"

#include <cmath>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

namespace Corvane {

  class UserInputValidator {
   public:
    using ErrorFunction = std::function<void(const std::string&)>;

    /// Number of accepted values kept per input.
    static constexpr std::size_t historyLength = 8;

    UserInputValidator() = default;
    UserInputValidator(UserInputValidator&&) noexcept = default;
    UserInputValidator& operator=(UserInputValidator&&) noexcept = default;
    UserInputValidator(const UserInputValidator&) = delete;
    UserInputValidator& operator=(const UserInputValidator&) = delete;

    /// Receives the message of every failing rule. Without one, messages go to the logger as
    /// warnings with the source "UserInputValidator".
    void setErrorFunction(ErrorFunction function) { _errorFunction = std::move(function); }

    /// The value an input returns to when a rule fails before any value was accepted. May be
    /// changed at any time; the next restore uses the new value.
    template<class T>
    void setFallback(ScalarAccessor<T>& input, const std::type_identity_t<T>& value) {
      variable(input).fallback = value;
    }

    /// Adds a rule on one or more inputs (push or poll, with or without write-back).
    template<class Predicate, class... Inputs>
    void add(const std::string& message, Predicate&& predicate, Inputs&... inputs) {
      static_assert(sizeof...(Inputs) > 0, "a rule watches at least one input");
      Rule rule{message, std::function<bool()>(std::forward<Predicate>(predicate)), {}};
      (rule.variables.push_back(indexOf(inputs)), ...);
      _rules.push_back(std::move(rule));
    }

    /// Checks the rules watching `changed` (all rules when it is empty) and restores what fails.
    /// Returns true when a value was restored or replaced by its fallback.
    bool validate(const TransferElementID& changed);

    /// Last accepted value of an input; empty before the first one.
    template<class T>
    std::optional<T> lastAcceptedValue(const ScalarAccessor<T>& input) const {
      auto* v = find<T>(input);
      if(!v || v->history.empty()) return std::nullopt;
      return v->history.back();
    }

    /// Accepted values of an input, oldest first (at most historyLength).
    template<class T>
    std::vector<T> acceptedHistory(const ScalarAccessor<T>& input) const {
      auto* v = find<T>(input);
      if(!v) return {};
      return std::vector<T>(v->history.begin(), v->history.end());
    }

   private:
    struct Variable {
      virtual ~Variable() = default;
      /// Puts the input back to its last accepted value or fallback; true when the value changed.
      virtual bool restore() = 0;
      /// Version of the input's value when the validator last checked or sent it back.
      VersionNumber checkedVersion;
      /// Records the current value as accepted.
      virtual void accept() = 0;
      detail::AccessorNode* node{nullptr};
    };

    template<class T>
    struct TypedVariable final : Variable {
      detail::TypedAccessorNode<T>& typedNode() const { return *static_cast<detail::TypedAccessorNode<T>*>(node); }
      T& value() const { return typedNode().writable()[0]; }

      static bool same(const T& a, const T& b) {
        if constexpr(std::is_floating_point_v<T>) return a == b || (std::isnan(a) && std::isnan(b));
        else return a == b;
      }

      bool restore() override {
        const T* target = !history.empty() ? &history.back() : (fallback ? &*fallback : nullptr);
        if(!target || same(value(), *target)) return false;
        value() = *target;
        return true;
      }

      void accept() override {
        if(!history.empty() && same(history.back(), value())) return;
        history.push_back(value());
        if(history.size() > historyLength) history.pop_front();
      }

      std::optional<T> fallback;
      std::deque<T> history;
    };

    struct Rule {
      std::string message;
      std::function<bool()> predicate;
      std::vector<std::size_t> variables;
    };

    /// Writes a restored value back through the input's write-back channel, unless the input
    /// has none or a newer value already waits for the module (that one supersedes the restore).
    static void sendBack(detail::AccessorNode& node);

    template<class T>
    TypedVariable<T>& variable(ScalarAccessor<T>& accessor) {
      return static_cast<TypedVariable<T>&>(*_variables[indexOf(accessor)]);
    }

    template<class T>
    std::size_t indexOf(ScalarAccessor<T>& accessor) {
      auto* node = accessor.accessorNode();
      checkInput(*node);
      auto it = _index.find(node->id);
      if(it != _index.end()) return it->second;
      auto v = std::make_unique<TypedVariable<T>>();
      v->node = node;
      _variables.push_back(std::move(v));
      _index.emplace(node->id, _variables.size() - 1);
      return _variables.size() - 1;
    }

    template<class T>
    const TypedVariable<T>* find(const ScalarAccessor<T>& accessor) const {
      auto it = _index.find(accessor.getId());
      if(it == _index.end()) return nullptr;
      return static_cast<const TypedVariable<T>*>(_variables[it->second].get());
    }

    /// Throws logic_error for accessors that are not inputs.
    static void checkInput(const detail::AccessorNode& node);

    /// Evaluates a rule; an exception of the predicate becomes a logic_error naming the rule.
    bool holds(const Rule& rule) const;
    void report(const std::string& message) const;

    ErrorFunction _errorFunction;
    std::vector<std::unique_ptr<Variable>> _variables;
    std::unordered_map<TransferElementID, std::size_t> _index;
    std::vector<Rule> _rules;
  };

} // namespace Corvane
