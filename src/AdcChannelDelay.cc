#include "AdcChannel.h"

#include <Corvane/Time.h>

#include <chrono>
#include <optional>

void AdcChannel::Delay::mainLoop() {
  std::optional<std::int32_t> lastValid;
  while(true) {
    if(delay >= 0 && delay <= 255) {
      adcFifoDelay.setAndWrite(static_cast<std::uint8_t>(delay));
      adcFifoReset.setAndWrite(true);
      Corvane::sleepFor(std::chrono::milliseconds(1));
      adcFifoReset.setAndWrite(false);
      lastValid = delay;
    }
    else {
      // The firmware takes the delay modulo 256: a wrapped value would delay by something nobody asked for.
      auto warning = logger(Corvane::Logger::Severity::warning, "AdcChannel::Delay");
      warning << "ADC FIFO delay " << static_cast<std::int32_t>(delay) << " for " << delay.getName()
              << " refused: it must lie within 0 to 255; ";
      if(lastValid) {
        warning << "the firmware keeps the delay " << *lastValid;
      }
      else {
        warning << "the firmware keeps its delay";
      }
    }
    delay.read();
  }
}
