#include "PlaceholderUnits.h"

#include <array>
#include <string_view>
#include <utility>

namespace {

  /// Characters that continue a unit's token: a placeholder only matches where none of these
  /// stands right before or after it ("G.U." is no placeholder inside "G.U.L.S." or "XG.U.").
  bool continuesToken(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_';
  }

} // namespace

PlaceholderUnits::PlaceholderUnits(std::string gradientUnit, std::string gradientUnitPerLength, std::string powerUnit)
: _gradient(std::move(gradientUnit)), _gradientPerLength(std::move(gradientUnitPerLength)),
  _power(std::move(powerUnit)) {}

std::optional<std::string> PlaceholderUnits::replacementFor(const std::string& unit) const {
  const std::array<std::pair<std::string_view, const std::string*>, 3> placeholders{
      {{"G.U.L.S.", &_gradientPerLength}, {"G.U.", &_gradient}, {"P.U.", &_power}}};
  std::string result;
  bool replaced = false;
  std::size_t position = 0;
  // one pass from left to right: a configured unit put in is never looked at again
  while(position < unit.size()) {
    bool atTokenStart = position == 0 || !continuesToken(unit[position - 1]);
    bool matched = false;
    for(auto& [placeholder, configured] : placeholders) {
      if(!atTokenStart || unit.compare(position, placeholder.size(), placeholder) != 0) continue;
      auto end = position + placeholder.size();
      if(end < unit.size() && continuesToken(unit[end])) continue;
      result += *configured;
      position = end;
      matched = replaced = true;
      break;
    }
    if(!matched) result += unit[position++];
  }
  if(!replaced) return std::nullopt;
  return result;
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
