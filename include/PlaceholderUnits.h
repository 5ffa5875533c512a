// Station-specific units. Modules declare the units of field and power quantities with fixed
// placeholders ("G.U." gradient, "G.U.L.S." length-scaled gradient, "P.U." power, and a few
// compounds); the application replaces them once, after every module is built, by the units
// configured for the station. Only units equal to a placeholder (whole string, case-sensitive)
// change; names, descriptions and values stay.
#pragma once

#include <Corvane/EntityOwner.h>

#include <optional>
#include <string>

class PlaceholderUnits {
 public:
  PlaceholderUnits(std::string gradientUnit, std::string gradientUnitPerLength, std::string powerUnit);

  /// The configured unit that replaces `unit`, or nothing when `unit` is no placeholder.
  std::optional<std::string> replacementFor(const std::string& unit) const;

  /// Visits every accessor declared below `root` once, in the framework's order, and sets the
  /// configured unit where the declared one is a placeholder. Returns the number changed.
  std::size_t substituteIn(const Corvane::EntityOwner& root) const;

 private:
  std::string _gradient;
  std::string _gradientPerLength;
  std::string _power;
};
