// The application's configuration: reads the station's configuration file, offers typed access
// by key, and publishes every value as a read-only constant process variable at its key below
// the reader's own directory (with the name "." at "/" + key).
//
// A key that a module also declares as an input with write-back becomes an operator setting:
// the control system may write it, and its value at every start is the file's.
#pragma once

#include "Corvane/ConfigFile.h"
#include "Corvane/Exception.h"
#include "Corvane/ModuleGroup.h"

#include <memory>
#include <optional>
#include <string>
#include <type_traits>

namespace Corvane {

  class ConfigReader : public ModuleGroup {
   public:
    ConfigReader(Module* owner, const std::string& name, const std::string& fileName,
        const std::unordered_set<std::string>& tags = {});
    ~ConfigReader() override;
    ConfigReader(ConfigReader&&) = delete;
    ConfigReader& operator=(ConfigReader&&) = delete;

    /// The value of `key` of exactly type T (Boolean for "boolean"; std::vector<T> for arrays).
    /// A missing key or a key of another type throws logic_error naming key, file and types.
    template<class T>
    T get(const std::string& key) const;

    /// The value of a scalar number key of exactly type T that must lie within minimum..maximum
    /// (a count that sizes arrays or modules, a divider that must not be 0). A value outside
    /// throws logic_error naming file, line, key, value, range and `why` (when given).
    template<class T>
      requires std::is_arithmetic_v<T>
    T getInRange(const std::string& key, T minimum, T maximum, const std::string& why = "") const;
    /// The value of an optional `key`: nullopt when the file does not have it. A key that is there
    /// with another type is a mistake in the file, not an absence: it throws logic_error naming key,
    /// file and both types, as get() does.
    template<class T>
    std::optional<T> getOptional(const std::string& key) const;

    const ConfigFile& file() const { return *_file; }

   protected:
    void addExternalEndpoints(std::vector<std::shared_ptr<detail::ExternalEndpoint>>& endpoints) override;

   private:
    std::unique_ptr<ConfigFile> _file;
  };

  namespace detail {
    template<class T>
    struct ConfigType {
      using type = T;
    };
    template<>
    struct ConfigType<Boolean> {
      using type = bool;
    };
    template<class T>
    struct IsVector : std::false_type {};
    template<class T>
    struct IsVector<std::vector<T>> : std::true_type {};
  } // namespace detail

  template<class T>
  T ConfigReader::get(const std::string& key) const {
    if constexpr(detail::IsVector<T>::value) {
      using E = typename T::value_type;
      auto values = _file->getArray<typename detail::ConfigType<E>::type>(key);
      return T(values.begin(), values.end());
    }
    else {
      return T(_file->get<typename detail::ConfigType<T>::type>(key));
    }
  }

  template<class T>
    requires std::is_arithmetic_v<T>
  T ConfigReader::getInRange(const std::string& key, T minimum, T maximum, const std::string& why) const {
    auto value = get<T>(key);
    if(value < minimum || value > maximum) {
      throw logic_error(_file->describe(key) + " is " + std::to_string(value) + ", outside " + std::to_string(minimum) +
          ".." + std::to_string(maximum) + (why.empty() ? std::string() : ": " + why));
    }
    return value;
  }

  template<class T>
  std::optional<T> ConfigReader::getOptional(const std::string& key) const {
    if(!_file->contains(key)) return std::nullopt;
    return get<T>(key);
  }

} // namespace Corvane
