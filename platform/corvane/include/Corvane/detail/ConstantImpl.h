#pragma once

#include <sstream>

namespace Corvane {

  template<class T>
  std::string EntityOwner::constant(T value) {
    using V = std::conditional_t<std::is_same_v<T, bool>, Boolean,
        std::conditional_t<std::is_same_v<T, const char*>, std::string, T>>;
    static_assert(std::is_arithmetic_v<V> || std::is_same_v<V, std::string> || std::is_same_v<V, Boolean> ||
            std::is_same_v<V, Void>,
        "constant(): the value must be an int8..uint64, float, double, std::string, bool/Boolean or Void");
    std::ostringstream text;
    if constexpr(std::is_same_v<V, Boolean>) text << (static_cast<bool>(value) ? "1" : "0");
    else if constexpr(std::is_same_v<V, std::int8_t> || std::is_same_v<V, std::uint8_t>) text << int(value);
    else if constexpr(std::is_floating_point_v<V>) text.precision(17), text << value;
    else if constexpr(std::is_same_v<V, Void>) text << "";
    else text << value;
    return registerConstant(dataTypeOf<V>(), text.str());
  }

} // namespace Corvane
