#include "FilterCoefficients.h"

#include "ConfigurationKeys.h"

#include <Corvane/ConfigReader.h>
#include <Corvane/ReadAnyGroup.h>

#include <algorithm>
#include <cstdint>

FilterCoefficients::FilterCoefficients(Corvane::ModuleGroup* owner, const std::string& name,
    const std::string& description, const std::unordered_set<std::string>& tags)
: Corvane::ApplicationModule(owner, name, description, tags),
  samplingFrequency(1000.0 * appConfig().get<double>(ConfigurationKeys::clockFrequency) /
      appConfig().get<std::uint32_t>(ConfigurationKeys::iqDetectionLength)),
  lockClient(this, "../../Configuration/filterCoefficientsValid") {}

void FilterCoefficients::mainLoop() {
  Corvane::ReadAnyGroup inputs{type, bandwidth, frequency};
  while(true) {
    const auto design = FilterDesign::design(type, frequency, bandwidth, samplingFrequency);
    if(design.coefficients) {
      writeUnderLock(*design.coefficients);
    }
    else {
      logger(Corvane::Logger::Severity::warning, "FilterCoefficients")
          << "filter request refused for " << coefficients.getName() << ": type " << static_cast<int>(type) << ", "
          << design.refusal << "; "
          << (_written ? "the last good coefficients stay in use" : "the filter passes the signal until a valid request");
      if(!_written) writeUnderLock(FilterDesign::passThrough);
    }
    inputs.readAny();
  }
}

void FilterCoefficients::writeUnderLock(const FilterDesign::Coefficients& values) {
  lockClient.lock();
  try {
    std::copy(values.begin(), values.end(), coefficients.begin());
    coefficients.write();
  }
  catch(...) {
    lockClient.unlock();
    throw;
  }
  lockClient.unlock();
  _written = true;
}
