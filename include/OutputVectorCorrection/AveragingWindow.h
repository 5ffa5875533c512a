// The window of samples in a pulse that a correction algorithm averages over: placed relative to the beginning
// or the end of the flat-top, by its beginning, end or centre, with an offset and a length. The published
// indices are inclusive and always lie inside the pulse (startIndex <= endIndex < pulse length).
//
// computeWindowIndices() places the window anew from the pulse shape and the window's settings on every update of
// the module. A change of a setting that would put the window out of range is rejected and written back; a
// window that cannot be placed for another reason (an invalid pulse shape) keeps its last indices and tells the
// main loop to drop the update.
#pragma once

#include "OutputVectorCorrection/WindowPlacement.h"

#include <Corvane/ScalarAccessor.h>
#include <Corvane/TransferElementID.h>
#include <Corvane/VariableGroup.h>

#include <cstdint>

namespace OutputVectorCorrection {

  class OVCMain;

  class AveragingWindow : public Corvane::VariableGroup {
   public:
    AveragingWindow(Corvane::Module* owner, OVCMain& ovc, const std::string& name, const std::string& description);

    /// Places the window for the update of `changed` (empty at the start). True when the window cannot be used
    /// and the update must be dropped; false when the published indices are valid (new, or kept because the
    /// change of a setting was rejected). Problems are reported through the module's setError.
    bool computeWindowIndices(const Corvane::TransferElementID& changed);

    Corvane::ScalarPushInputWB<std::int32_t> fromFlattopEnd{this, "fromFlattopEnd", "",
        "Boolean whether the window is defined w.r.t. the end of the flattop (otherwise it is defined w.r.t. "
        "beginning)"};
    Corvane::ScalarPushInputWB<std::uint32_t> poi{
        this, "poi", "", "Position of averaging window around the defined point: 0: beginning, 1: end, 2: center"};
    Corvane::ScalarPushInputWB<std::int32_t> offset{this, "offset", "samples",
        "Offset of the averaging window relative to the beginning or end of the flattop (see fromFlattopEnd). "
        "Negative values will shift to earlier time."};
    Corvane::ScalarPushInputWB<std::uint32_t> length{this, "length", "samples", "Length of the averaging window"};
    Corvane::ScalarOutput<std::uint32_t> startIndex{
        this, "startIndex", "", "Sample index of the start of the averaging window"};
    Corvane::ScalarOutput<std::uint32_t> endIndex{this, "endIndex", "", "Sample index of the end of the averaging window"};

   private:
    WindowSettings current() const;
    /// Puts the setting that `changed` names back to its accepted value; false when `changed` is none of them.
    bool rejectChange(const Corvane::TransferElementID& changed);

    OVCMain* _ovc;
    WindowSettings _accepted{};
  };

} // namespace OutputVectorCorrection
