#include "TableGeneration/IQTables.h"

#include "TableGeneration/TGenMain.h"
#include "TableNumerics.h"

#include <Corvane/WakeUpBatch.h>

#include <cmath>
#include <numbers>

namespace TableGeneration {

  IQTables::IQTables(TGenMain* owner, const std::string& name, const std::string& description,
      const std::unordered_set<std::string>& tags)
  : SubAlgo(owner, name, description, tags) {}

  void IQTables::compute() {
    constexpr double degree = std::numbers::pi / 180;
    // bitScaling / 2^shift, exact, and defined for any shift
    const double scale = std::ldexp(double(_m->config.bitScaling), -int(_m->config.vectorSumBitShift));
    const auto& ff = _m->feedForward.table;
    const auto& sp = _m->setPoint.table;
    const auto& correction = _m->setPoint.correction;
    const bool corrected = correction.enable;
    const auto n = static_cast<std::size_t>(_m->pulseLength);
    for(std::size_t i = 0; i < n; ++i) {
      feedForwardTable.I[i] = std::cos(ff.phase[i] * degree) * ff.amplitude[i] * scale;
      feedForwardTable.Q[i] = std::sin(ff.phase[i] * degree) * ff.amplitude[i] * scale;
      setPointTable.I[i] = std::cos(sp.phase[i] * degree) * sp.amplitude[i] * scale;
      setPointTable.Q[i] = std::sin(sp.phase[i] * degree) * sp.amplitude[i] * scale;
      if(corrected) {
        setPointTable.I[i] += static_cast<double>(correction.I[i]);
        setPointTable.Q[i] += static_cast<double>(correction.Q[i]);
      }
    }
  }

  std::optional<std::string> IQTables::refusal() const {
    using TableNumerics::firstUnfitElement;
    if(auto unfit = firstUnfitElement(feedForwardTable.I.value(), feedForwardTable.I.getName())) return unfit;
    if(auto unfit = firstUnfitElement(feedForwardTable.Q.value(), feedForwardTable.Q.getName())) return unfit;
    if(auto unfit = firstUnfitElement(setPointTable.I.value(), setPointTable.I.getName())) return unfit;
    return firstUnfitElement(setPointTable.Q.value(), setPointTable.Q.getName());
  }

  void IQTables::writeTables() {
    {
      // I and Q carry the version of this regeneration (TGenMain::updateTables), so a reader's
      // consistency group pairs them, and wake their reader once
      Corvane::WakeUpBatch batch;
      feedForwardTable.I.writeDestructively();
      feedForwardTable.Q.writeDestructively();
    }
    setPointTable.writeToFirmware(
        _m->tableBufferLock, BufferedTable<double>::DataWrite::destructive, TGenMain::logSource);
  }

} // namespace TableGeneration
