// Tag of the inputs that the output vector correction reads as one consistent set per macro-pulse.
#pragma once

namespace OutputVectorCorrection {

  inline constexpr char inputDataTag[] = "OVC_INPUT_DATA";

} // namespace OutputVectorCorrection
