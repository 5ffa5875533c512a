// Station-specific units. Modules declare the units of field and power quantities with fixed
// placeholders ("G.U." gradient, "G.U.L.S." length-scaled gradient, "P.U." power); the
// application replaces them once, after every module is built, by the units configured for the
// station. A placeholder is replaced wherever it stands as a whole token of a unit, alone or in a
// compound: "digits/G.U." becomes "digits/MV/m", "(digits/G.U.L.S.)/(digits/G.U.)" becomes
// "(digits/MV)/(digits/MV/m)". A token is bounded by the unit's ends or by a character other
// than a letter, digit, '.' or '_' (so "G.U.L.S." is never read as "G.U." plus more); matching
// is case-sensitive. Names, descriptions and values stay.
#pragma once

#include <Corvane/EntityOwner.h>

#include <optional>
#include <string>

class PlaceholderUnits {
 public:
  PlaceholderUnits(std::string gradientUnit, std::string gradientUnitPerLength, std::string powerUnit);

  /// `unit` with every placeholder token replaced by its configured unit, or nothing when it
  /// holds no placeholder.
  std::optional<std::string> replacementFor(const std::string& unit) const;

  /// Visits every accessor declared below `root` once, in the framework's order, and sets the
  /// configured unit where the declared one is a placeholder. Returns the number changed.
  std::size_t substituteIn(const Corvane::EntityOwner& root) const;

 private:
  std::string _gradient;
  std::string _gradientPerLength;
  std::string _power;
};
