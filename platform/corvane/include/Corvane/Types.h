// Value types that process variables carry, and the run-time tag that names them.
//
// Every accessor, channel and control-system variable is one of these types. Conversions
// between them (numeric rounding and clamping, Boolean from non-zero) live in Conversion.h.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>

namespace Corvane {

  /// One-byte Boolean, distinct from the integer types so that overloads and the control
  /// system can tell a flag from a number.
  class Boolean {
   public:
    constexpr Boolean() = default;
    constexpr Boolean(bool value) : _value(value) {}
    constexpr operator bool() const { return _value; }
    constexpr Boolean& operator=(bool value) {
      _value = value;
      return *this;
    }
    friend constexpr bool operator==(Boolean a, Boolean b) { return a._value == b._value; }

   private:
    bool _value{false};
  };
  static_assert(sizeof(Boolean) == 1);

  /// Value type of variables that carry no data, only the fact that something happened.
  struct Void {
    friend constexpr bool operator==(Void, Void) { return true; }
  };

  enum class DataType : std::uint8_t {
    int8, uint8, int16, uint16, int32, uint32, int64, uint64, float32, float64, string, boolean, nodata
  };

  /// Calls f(T{}) for the C++ type of a run-time DataType.
  template<class F>
  decltype(auto) callForType(DataType type, F&& f) {
    switch(type) {
      case DataType::int8: return f(std::int8_t{});
      case DataType::uint8: return f(std::uint8_t{});
      case DataType::int16: return f(std::int16_t{});
      case DataType::uint16: return f(std::uint16_t{});
      case DataType::int32: return f(std::int32_t{});
      case DataType::uint32: return f(std::uint32_t{});
      case DataType::int64: return f(std::int64_t{});
      case DataType::uint64: return f(std::uint64_t{});
      case DataType::float32: return f(float{});
      case DataType::float64: return f(double{});
      case DataType::string: return f(std::string{});
      case DataType::boolean: return f(Boolean{});
      case DataType::nodata: break;
    }
    return f(Void{});
  }

  template<class T>
  constexpr DataType dataTypeOf() {
    if constexpr(std::is_same_v<T, std::int8_t>) return DataType::int8;
    else if constexpr(std::is_same_v<T, std::uint8_t>) return DataType::uint8;
    else if constexpr(std::is_same_v<T, std::int16_t>) return DataType::int16;
    else if constexpr(std::is_same_v<T, std::uint16_t>) return DataType::uint16;
    else if constexpr(std::is_same_v<T, std::int32_t>) return DataType::int32;
    else if constexpr(std::is_same_v<T, std::uint32_t>) return DataType::uint32;
    else if constexpr(std::is_same_v<T, std::int64_t>) return DataType::int64;
    else if constexpr(std::is_same_v<T, std::uint64_t>) return DataType::uint64;
    else if constexpr(std::is_same_v<T, float>) return DataType::float32;
    else if constexpr(std::is_same_v<T, double>) return DataType::float64;
    else if constexpr(std::is_same_v<T, std::string>) return DataType::string;
    else if constexpr(std::is_same_v<T, Boolean>) return DataType::boolean;
    else if constexpr(std::is_same_v<T, Void>) return DataType::nodata;
    else static_assert(sizeof(T) == 0, "not a process-variable value type");
  }

  /// A std::variant with one alternative Of<T> for each value type, in the order of DataType: the
  /// variant's index() is the DataType of the alternative it holds.
  template<template<class> class Of>
  using ForEachValueType = std::variant<Of<std::int8_t>, Of<std::uint8_t>, Of<std::int16_t>, Of<std::uint16_t>,
      Of<std::int32_t>, Of<std::uint32_t>, Of<std::int64_t>, Of<std::uint64_t>, Of<float>, Of<double>,
      Of<std::string>, Of<Boolean>, Of<Void>>;

  namespace detail {
    template<class T>
    using Itself = T;

    template<std::size_t... index>
    constexpr bool followsDataTypeOrder(std::index_sequence<index...>) {
      return ((dataTypeOf<std::variant_alternative_t<index, ForEachValueType<Itself>>>() ==
                  static_cast<DataType>(index)) &&
          ...);
    }
  } // namespace detail
  static_assert(detail::followsDataTypeOrder(
                    std::make_index_sequence<std::variant_size_v<ForEachValueType<detail::Itself>>>{}) &&
          std::variant_size_v<ForEachValueType<detail::Itself>> == static_cast<std::size_t>(DataType::nodata) + 1,
      "ForEachValueType lists the value types in the order of DataType");

  /// Name of a type as used in the configuration file, the variable list and the control system.
  constexpr std::string_view dataTypeName(DataType type) {
    switch(type) {
      case DataType::int8: return "int8";
      case DataType::uint8: return "uint8";
      case DataType::int16: return "int16";
      case DataType::uint16: return "uint16";
      case DataType::int32: return "int32";
      case DataType::uint32: return "uint32";
      case DataType::int64: return "int64";
      case DataType::uint64: return "uint64";
      case DataType::float32: return "float";
      case DataType::float64: return "double";
      case DataType::string: return "string";
      case DataType::boolean: return "boolean";
      case DataType::nodata: return "void";
    }
    return "?";
  }

  constexpr bool isNumeric(DataType type) { return type != DataType::string && type != DataType::nodata; }

  enum class DataValidity : std::uint8_t { ok, faulty };

} // namespace Corvane
