// What identifies a device: the backend type, an address and key=value parameters, written
//
//   (TYPE:ADDRESS?key=value&key=value)
//
// The address and the parameters are optional: "(dummy?map=board.map)". TYPE and keys hold
// [A-Za-z0-9_]; the address and values hold anything but "?", "&" and ")" (values also no "=").
// Two descriptors with the same type, address and parameters (in any order) are one device.
#pragma once

#include "Corvane/Exception.h"

#include <compare>
#include <map>
#include <string>
#include <string_view>

namespace Corvane {

  struct DeviceDescriptor {
    std::string type;
    std::string address;
    std::map<std::string, std::string> parameters;

    /// Parses the text form; Corvane::logic_error saying what is wrong (without location).
    static DeviceDescriptor parse(std::string_view text);

    /// True when the text looks like a descriptor rather than an alias.
    static bool isDescriptor(std::string_view text);

    /// Canonical text form, parameters sorted by key.
    std::string str() const;

    /// The parameter's value, empty when absent.
    std::string parameter(const std::string& key) const;

    friend auto operator<=>(const DeviceDescriptor&, const DeviceDescriptor&) = default;
  };

} // namespace Corvane
