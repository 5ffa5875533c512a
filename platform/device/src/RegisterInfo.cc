#include "Corvane/RegisterInfo.h"

namespace Corvane {

  RegisterConverter RegisterInfo::converter() const {
    switch(encoding) {
      case Encoding::fixedPoint:
        return RegisterConverter(FixedPointConverter(path, width, fracBits, isSigned, bitOffset));
      case Encoding::ieee754:
        return RegisterConverter(IEEE754Converter(path));
      case Encoding::none:
        break;
    }
    return RegisterConverter(RegisterConverter::NoData{path});
  }

  std::string RegisterInfo::accessName(Access access) {
    switch(access) {
      case Access::readOnly: return "RO";
      case Access::readWrite: return "RW";
      case Access::writeOnly: return "WO";
      case Access::interrupt: return "INTERRUPT";
    }
    return "?";
  }

#ifdef CORVANE_DEVICE_HAS_FRAMEWORK_TYPES
  DataType RegisterInfo::naturalType() const {
    if(!hasData()) return DataType::nodata;
    if(encoding == Encoding::ieee754) return DataType::float32;
    if(fracBits > 0) return DataType::float64;
    int valueBits = static_cast<int>(width) - fracBits;
    if(valueBits > 64) return DataType::float64;
    if(isSigned) return valueBits <= 32 ? DataType::int32 : DataType::int64;
    return valueBits <= 32 ? DataType::uint32 : DataType::uint64;
  }
#endif

} // namespace Corvane
