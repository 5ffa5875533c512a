// The application's side of the control system: one bidirectional channel per published
// process variable, with value, version, validity and time stamp.
//
// Threading contract: the application hands every value to its variable here without waiting
// (the newest value replaces the previous one as a new shared snapshot; listeners are called in
// the writing thread and must only take note, never block). Readers take the snapshot pointer
// (latest(), latestValue()), never a copy under the writer's lock. Writes from the control system
// enter the application through the framework's queues from the calling thread.
#pragma once

#include "Corvane/ControlSystemValue.h"
#include "Corvane/Conversion.h"
#include "Corvane/Exception.h"
#include "Corvane/Types.h"
#include "Corvane/ValueHandle.h"
#include "Corvane/VersionNumber.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace Corvane {

  namespace detail {
    class NetworkVariable;
    class Scheduler;
    class ReceiveChannel;
  } // namespace detail

  class ControlSystemVariable {
   public:
    ControlSystemVariable(std::shared_ptr<detail::NetworkVariable> variable, std::size_t participant,
        std::shared_ptr<detail::ReceiveChannel> channel, bool writable);

    const std::string& path() const;
    DataType type() const;
    std::size_t nElements() const;
    std::string unit() const;
    std::string description() const;
    std::unordered_set<std::string> tags() const;
    bool isWritable() const { return _writable; }
    /// True when no module, register, configuration value or constant feeds the variable: the
    /// control system is its source (an operator setting).
    bool isFedByControlSystem() const;

    /// The newest value, converted to T. Empty before the first value arrived.
    template<class T>
    std::vector<T> get(VersionNumber* version = nullptr, DataValidity* validity = nullptr) const;
    bool hasValue() const;
    /// The newest value without copying it; null before the first value. T must be exactly the
    /// variable's type (logic_error otherwise). Holding the pointer never delays a writer.
    template<class T>
    std::shared_ptr<const ControlSystemValue<T>> latest() const;
    /// The same as a handle of the variable's type; empty (but typed) before the first value.
    SharedValue latestValue() const;
    /// Counts every value that arrived (also the control system's own writes).
    std::uint64_t updateCount() const;

    /// Writes a value into the application. Throws logic_error when the variable is not
    /// writable, the element count differs, or T does not convert to the variable's type.
    /// The control system's own value changes in the same step as everybody else's: when a module
    /// writes the variable back at the same time, all of them end with whichever write came last.
    template<class T>
    void set(const std::vector<T>& value, VersionNumber version = VersionNumber{},
        DataValidity validity = DataValidity::ok);

    /// Called (in the writer's thread) after every new value. Must not block.
    void setListener(std::function<void()> listener);

    /// Writes a value of the variable's type, or of one that converts to it, into the application
    /// without checks (the adapters check what they decode; set() checks and converts). The value's
    /// buffer may be taken: `value` is left with a buffer of the same length but unspecified content.
    void setValue(VectorRef value, const VersionNumber& version, DataValidity validity);

   private:
    friend class ControlSystem;
    void checkWritable(std::size_t n) const;
    std::shared_ptr<detail::NetworkVariable> _variable;
    std::size_t _participant;
    std::shared_ptr<detail::ReceiveChannel> _channel;
    bool _writable;
  };

  class ControlSystem {
   public:
    /// Throws logic_error for an unknown path.
    ControlSystemVariable& variable(const std::string& path);
    bool has(const std::string& path) const { return _variables.count(path) > 0; }
    const std::map<std::string, std::unique_ptr<ControlSystemVariable>>& variables() const { return _variables; }

    /// Initial value of a control-system-fed variable, asked once at start (persisted settings,
    /// test defaults). Returns false to let the variable start at the type's zero.
    using InitialValueProvider = std::function<bool(ControlSystemVariable&)>;
    void addInitialValueProvider(InitialValueProvider provider) { _providers.push_back(std::move(provider)); }

    // framework side
    void add(const std::string& path, std::unique_ptr<ControlSystemVariable> variable);
    void sendInitialValues();

   private:
    std::map<std::string, std::unique_ptr<ControlSystemVariable>> _variables;
    std::vector<InitialValueProvider> _providers;
  };

  template<class T>
  std::vector<T> ControlSystemVariable::get(VersionNumber* version, DataValidity* validity) const {
    if(!isConvertible(type(), dataTypeOf<T>())) {
      throw logic_error("Variable " + path() + " of type " + std::string(dataTypeName(type())) +
          " cannot be read as " + std::string(dataTypeName(dataTypeOf<T>())));
    }
    auto value = latestValue();
    if(version) *version = VersionNumber{nullptr};
    if(validity) *validity = DataValidity::ok;
    if(!value) return {};
    return value.visit([&](const auto& held) {
      using S = typename std::decay_t<decltype(held.data)>::value_type;
      if(version) *version = held.version;
      if(validity) *validity = held.validity;
      std::vector<T> result;
      if constexpr(isConvertible<S, T>()) {
        bool faulty = false;
        result.reserve(held.data.size());
        for(auto& v : held.data) result.push_back(convertValue<T>(v, faulty));
      }
      return result;
    });
  }

  template<class T>
  std::shared_ptr<const ControlSystemValue<T>> ControlSystemVariable::latest() const {
    if(dataTypeOf<T>() != type()) {
      throw logic_error("Variable " + path() + " of type " + std::string(dataTypeName(type())) +
          " has no value of type " + std::string(dataTypeName(dataTypeOf<T>())));
    }
    return latestValue().template get<T>();
  }

  template<class T>
  void ControlSystemVariable::set(const std::vector<T>& value, VersionNumber version, DataValidity validity) {
    checkWritable(value.size());
    callForType(type(), [&](auto sample) {
      using S = decltype(sample);
      if constexpr(isConvertible<T, S>()) {
        bool faulty = false;
        std::vector<S> converted;
        converted.reserve(value.size());
        for(auto& v : value) converted.push_back(convertValue<S>(v, faulty));
        setValue(&converted, version, faulty ? DataValidity::faulty : validity);
      }
      else {
        throw logic_error("Variable " + path() + " of type " + std::string(dataTypeName(type())) +
            " cannot be written with a " + std::string(dataTypeName(dataTypeOf<T>())));
      }
    });
  }

} // namespace Corvane
