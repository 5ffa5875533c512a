#include "FirmwareSEUDetection.h"

namespace {

  /// Adds the counts since the previous reading to `total`. A counter that went down started
  /// again at an FPGA boot: everything it counted since that boot is new.
  std::uint64_t accumulate(std::uint64_t total, std::uint32_t previous, std::uint32_t current) {
    return total + (current >= previous ? current - previous : current);
  }

} // namespace

void FirmwareSEUDetection::discardTotalsWrittenFromOutside() {
  const auto version = getCurrentVersionNumber();
  const std::uint64_t crcTotal = crcErrors;
  const std::uint64_t eccTotal = eccFixedFramesTotal;
  crcErrors.readLatest();
  eccFixedFramesTotal.readLatest();
  crcErrors = crcTotal;
  eccFixedFramesTotal = eccTotal;
  // the outputs keep the version of the registers' reading
  setCurrentVersionNumber(version);
}

void FirmwareSEUDetection::mainLoop() {
  // the first readings are the base: counts from before the start are not added
  std::uint32_t previousRaw = firmware.unrecoverableErrorDetectedRaw;
  std::uint32_t previousCrc = firmware.crcErrorSinceFpgaBoot;
  std::uint32_t previousEcc = firmware.eccFixedFramesSinceFpgaBoot;

  while(true) {
    const std::uint32_t raw = firmware.unrecoverableErrorDetectedRaw;
    unrecoverableErrorDetected = (raw != 0 && previousRaw != 0) ? 1 : 0;
    previousRaw = raw;

    discardTotalsWrittenFromOutside();
    const std::uint32_t crc = firmware.crcErrorSinceFpgaBoot;
    const std::uint32_t ecc = firmware.eccFixedFramesSinceFpgaBoot;
    crcErrors = accumulate(crcErrors, previousCrc, crc);
    eccFixedFramesTotal = accumulate(eccFixedFramesTotal, previousEcc, ecc);

    writeAll(true);
    firmware.readAll();

    previousCrc = crc;
    previousEcc = ecc;
  }
}
