#include "PlaceholderUnits.h"

#include <utility>

PlaceholderUnits::PlaceholderUnits(std::string gradientUnit, std::string gradientUnitPerLength, std::string powerUnit)
: _gradient(std::move(gradientUnit)), _gradientPerLength(std::move(gradientUnitPerLength)),
  _power(std::move(powerUnit)) {}

std::optional<std::string> PlaceholderUnits::replacementFor(const std::string& unit) const {
  // tested in this order; the first exact match decides
  if(unit == "G.U.") return _gradient;
  if(unit == "digits/G.U.") return "digits/" + _gradient;
  if(unit == "G.U.L.S.") return _gradientPerLength;
  if(unit == "digits/G.U.L.S.") return "digits/" + _gradientPerLength;
  if(unit == "P.U.") return _power;
  if(unit == "G.U.^2/P.U.") return _gradient + "^2/" + _power;
  if(unit == "digits^2/P.U.") return "digits^2/" + _power;
  if(unit == "G.U./flattop") return _gradient + "/flattop";
  return std::nullopt;
}

std::size_t PlaceholderUnits::substituteIn(const Corvane::EntityOwner& root) const {
  std::size_t changed = 0;
  // each accessor is visited once, so a configured unit that reads like a placeholder stays
  for(auto& node : root.getAccessorListRecursive()) {
    if(auto unit = replacementFor(node.getUnit())) {
      node.setMetaData(node.getName(), *unit, node.getDescription());
      ++changed;
    }
  }
  return changed;
}
