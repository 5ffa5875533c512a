#include "BoardModelParameters.h"

#include <Corvane/Exception.h>

#include <charconv>
#include <cmath>
#include <string>

namespace {
  [[noreturn]] void refuseModelParameter(const std::string& key, const std::string& value, const std::string& wanted) {
    throw Corvane::logic_error(
        "SISLDummy: device descriptor parameter " + key + "=" + value + " is not " + wanted);
  }

  double finiteModelParameter(const Corvane::DeviceDescriptor& descriptor, const std::string& key) {
    const std::string text = descriptor.parameter(key);
    if(text.empty()) return 0.0;
    double value = 0.0;
    const char* end = text.data() + text.size();
    const auto [rest, error] = std::from_chars(text.data(), end, value);
    if(error != std::errc{} || rest != end || !std::isfinite(value)) refuseModelParameter(key, text, "a finite number");
    return value;
  }
} // namespace

BoardModelParameters BoardModelParameters::fromDescriptor(
    const Corvane::DeviceDescriptor& descriptor, std::size_t maxTableLength) {
  BoardModelParameters parameters;
  parameters.tableLength = maxTableLength;
  if(const std::string text = descriptor.parameter("tableLength"); !text.empty()) {
    std::size_t length = 0;
    const char* end = text.data() + text.size();
    const auto [rest, error] = std::from_chars(text.data(), end, length);
    if(error != std::errc{} || rest != end || length < 1 || length > maxTableLength) {
      refuseModelParameter("tableLength", text, "a whole number from 1 to " + std::to_string(maxTableLength));
    }
    parameters.tableLength = length;
  }
  parameters.vmOffsetI = finiteModelParameter(descriptor, "vmOffsetI");
  parameters.vmOffsetQ = finiteModelParameter(descriptor, "vmOffsetQ");
  return parameters;
}
