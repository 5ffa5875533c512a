// A computed value, or the reason it was refused.
//
// The signal helpers never throw on bad operator input: they hand back either a usable value
// or a message for the calling module to log, so that it can keep its last valid state.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace llrf {

  template<typename T>
  class Checked {
   public:
    static Checked valid(T value) {
      Checked c;
      c._value = std::move(value);
      return c;
    }

    static Checked refused(std::string reason) {
      Checked c;
      c._error = std::move(reason);
      return c;
    }

    bool ok() const noexcept { return _value.has_value(); }
    explicit operator bool() const noexcept { return ok(); }

    /// The value; throws std::bad_optional_access when refused.
    const T& value() const& { return _value.value(); }
    T value() && { return std::move(_value).value(); }

    /// Why the value was refused; empty when ok().
    const std::string& error() const noexcept { return _error; }

   private:
    Checked() = default;
    std::optional<T> _value;
    std::string _error;
  };

} // namespace llrf
