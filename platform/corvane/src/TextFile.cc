#include "Corvane/TextFile.h"

#include "Corvane/Exception.h"

#include <cerrno>
#include <cstring>
#include <fstream>

namespace Corvane {

  namespace {
    std::string megabytes(std::size_t bytes) {
      return std::to_string(bytes >> 20) + " MiB";
    }
  } // namespace

  TextFile::Reading TextFile::tryRead(const std::filesystem::path& fileName, std::size_t maxBytes) {
    Reading reading;
    auto refuse = [&reading](Fault fault, std::string reason = {}) {
      return Reading{fault, {}, reading.size, std::move(reason)};
    };
    std::error_code ec;
    auto status = std::filesystem::status(fileName, ec);
    if(status.type() == std::filesystem::file_type::not_found) return refuse(Fault::missing);
    if(ec) return refuse(Fault::unexaminable, ec.message());
    if(status.type() == std::filesystem::file_type::directory) return refuse(Fault::directory);
    if(status.type() != std::filesystem::file_type::regular) return refuse(Fault::notRegular);
    // a file that reports no size is measured while it is read
    auto size = std::filesystem::file_size(fileName, ec);
    if(!ec) {
      reading.size = size;
      if(size > maxBytes) return refuse(Fault::tooLarge);
    }

    std::ifstream in(fileName, std::ios::binary);
    if(!in) return refuse(Fault::cannotOpen, std::strerror(errno));
    if(!ec) reading.content.reserve(static_cast<std::size_t>(size));
    char chunk[16384];
    while(in.read(chunk, sizeof(chunk)) || in.gcount() > 0) {
      reading.content.append(chunk, static_cast<std::size_t>(in.gcount()));
      if(reading.content.size() > maxBytes) return refuse(Fault::grewTooLarge);
    }
    if(in.bad()) {
      reading.fault = Fault::readFailed;
      reading.reason = std::strerror(errno);
    }
    return reading;
  }

  std::string TextFile::read(const std::string& fileName, std::string_view kind, std::size_t maxBytes) {
    auto reading = tryRead(fileName, maxBytes);
    const auto named = std::string(kind) + " \"" + fileName + "\"";
    switch(reading.fault) {
      case Fault::none: return std::move(reading.content);
      case Fault::missing: throw logic_error(named + " does not exist");
      case Fault::unexaminable: throw logic_error(named + " cannot be examined: " + reading.reason);
      case Fault::directory: throw logic_error(named + " is a directory");
      case Fault::notRegular:
        throw logic_error(
            named + " is not a regular file (a device, pipe or socket cannot be a " + std::string(kind) + ")");
      case Fault::tooLarge:
        throw logic_error(
            named + " is larger than " + megabytes(maxBytes) + " (" + std::to_string(reading.size) + " bytes)");
      case Fault::grewTooLarge: throw logic_error(named + " is larger than " + megabytes(maxBytes));
      case Fault::cannotOpen:
      case Fault::readFailed: break;
    }
    throw logic_error(named + " cannot be read");
  }

} // namespace Corvane
