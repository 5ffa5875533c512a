#include "OutputVectorCorrection/AveragingWindow.h"

#include "OutputVectorCorrection/OVCMain.h"

namespace OutputVectorCorrection {

  namespace {
    constexpr auto warning = Corvane::StatusOutput::WARNING;
  }

  AveragingWindow::AveragingWindow(
      Corvane::Module* owner, OVCMain& ovc, const std::string& name, const std::string& description)
  : Corvane::VariableGroup(owner, name, description), _ovc(&ovc) {}

  WindowSettings AveragingWindow::current() const {
    return {fromFlattopEnd.value(), poi.value(), offset.value(), length.value()};
  }

  bool AveragingWindow::rejectChange(const Corvane::TransferElementID& changed) {
    if(!changed.isValid()) return false;
    if(changed == fromFlattopEnd.getId()) fromFlattopEnd.setAndWrite(_accepted.fromFlattopEnd);
    else if(changed == poi.getId()) poi.setAndWrite(_accepted.poi);
    else if(changed == offset.getId()) offset.setAndWrite(_accepted.offset);
    else if(changed == length.getId()) length.setAndWrite(_accepted.length);
    else return false;
    return true;
  }

  bool AveragingWindow::computeWindowIndices(const Corvane::TransferElementID& changed) {
    auto& pulseShape = _ovc->controller.pulseShape;
    const PulseTiming timing{_ovc->configuration.samplingFrequency, pulseShape.delay, pulseShape.fillingDuration,
        pulseShape.flattopDuration};
    const auto bounds = flattopBounds(timing, _ovc->pulseLength);
    if(!bounds) {
      _ovc->setError("Flattop configuration from controller configuration invalid.", warning);
      return true;
    }
    if(length == 0) {
      _ovc->setError("Length of averaging window cannot be 0, changed to 1.", warning);
      length.setAndWrite(1);
    }

    const auto window = placeWindow(*bounds, current(), _ovc->pulseLength);
    if(!window) {
      if(changed.isValid() && changed == poi.getId()) {
        poi.setAndWrite(_accepted.poi);
        _ovc->setError("Invalid value for POI (change rejected)", warning);
        return false;
      }
      _ovc->setError("Invalid value for POI (cannot continue)", warning);
      return true;
    }

    if(window->outOfRange()) {
      std::string message = "OVC window out of range: ";
      if(window->startPastEnd()) message += "start past end, ";
      if(window->endPastMaximum()) message += "end past maximum, ";
      if(window->startBeforeMinimum()) message += "start before minimum, ";
      const bool rejected = rejectChange(changed);
      _ovc->setError(message + (rejected ? "change rejected." : "cannot continue."), warning);
      return !rejected;
    }

    _accepted = current();
    endIndex.writeIfDifferent(static_cast<std::uint32_t>(window->end));
    startIndex.writeIfDifferent(static_cast<std::uint32_t>(window->start));
    return false;
  }

} // namespace OutputVectorCorrection
