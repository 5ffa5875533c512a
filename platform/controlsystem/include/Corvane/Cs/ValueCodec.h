// Wire forms of process-variable values, shared by the HTTP API, the WebSocket updates, the
// persisted settings and the device backend.
//
// JSON: a scalar variable's value is a JSON scalar, an array's a JSON array. Numbers are written
// in their shortest exact form; non-finite floating-point values as the strings "NaN",
// "Infinity" and "-Infinity"; Booleans as true/false; Void as null. Time stamps are ISO 8601 in
// UTC with microseconds ("2026-03-01T12:00:00.123456Z").
// Binary: the elements as they lie in memory, little-endian (Boolean one byte, 0 or 1); only for
// numeric and Boolean variables.
//
// Decoding a written value checks everything before anything is written: the JSON kind, the
// number of elements, integrality and range for integer types, finiteness and range for
// floating-point types. A refused value is a RequestError(400) that names the variable and the
// offending element.
#pragma once

#include "Corvane/Cs/Json.h"
#include "Corvane/Cs/RequestError.h"

#include <Corvane/ControlSystem.h>

#include <chrono>
#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace Corvane::Cs {

  /// A vector of any process-variable value type.
  using AnyVector = ForEachValueType<std::vector>;

  class ValueCodec {
   public:
    /// Appends the JSON form of a value (not empty). Scalars (`nElements` 1) are written bare,
    /// everything else as an array.
    static void appendJson(std::string& out, std::size_t nElements, const SharedValue& value);

    /// Appends the JSON form of the elements of a vector of `type`.
    static void appendJsonElements(std::string& out, const AnyVector& values, bool asArray);

    /// The document answered to GET of one variable:
    /// {"path","type","nElements","value","valid","version","time"}. Value null before the first.
    static std::string valueDocument(const ControlSystemVariable& variable, const SharedValue& value);

    /// Appends the fields "valid", "version" and "time" of a value (not empty; without braces).
    static void appendStamp(std::string& out, const SharedValue& value);

    /// The metadata object of a variable as listed by GET /api/variables:
    /// {"path","type","nElements","unit","description","tags","writable","status"}; "status" is
    /// true for status variables (StatusOutput: 0 OK, 1 FAULT, 2 OFF, 3 WARNING).
    static void appendMetadata(std::string& out, const ControlSystemVariable& variable);

    /// Whether a type has the binary form.
    static bool hasBinaryForm(DataType type) { return type != DataType::string && type != DataType::nodata; }

    /// The bytes of a value's elements (binary form), valid while `value` holds them. Empty for types
    /// without it.
    static std::span<const std::byte> rawBytes(const SharedValue& value);

    /// Checks and converts a written JSON value for a variable of `type` and `nElements`.
    static AnyVector decodeJson(const Json& value, DataType type, std::size_t nElements, const std::string& path);

    /// Checks and converts a written binary value (elements as rawBytes gives them).
    static AnyVector decodeBinary(std::string_view bytes, DataType type, std::size_t nElements, const std::string& path);

    /// Writes a decoded value into the application through the variable's channel.
    static void write(ControlSystemVariable& variable, AnyVector& value);

    /// Copies the elements of a value (not empty) into a vector.
    static AnyVector toVector(const SharedValue& value);

    /// The arrival count of a value (not empty), see ControlSystemValue::sequence.
    static std::uint64_t sequenceOf(const SharedValue& value);

    static std::string formatTime(std::chrono::system_clock::time_point time);
  };

} // namespace Corvane::Cs
