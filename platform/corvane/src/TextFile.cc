#include "Corvane/TextFile.h"

#include "Corvane/Exception.h"

#include <filesystem>
#include <fstream>

namespace Corvane {

  namespace {
    std::string megabytes(std::size_t bytes) {
      return std::to_string(bytes >> 20) + " MiB";
    }
  } // namespace

  std::string TextFile::read(const std::string& fileName, std::string_view kind, std::size_t maxBytes) {
    const auto named = std::string(kind) + " \"" + fileName + "\"";
    std::error_code ec;
    auto status = std::filesystem::status(fileName, ec);
    if(status.type() == std::filesystem::file_type::not_found) throw logic_error(named + " does not exist");
    if(ec) throw logic_error(named + " cannot be examined: " + ec.message());
    if(status.type() == std::filesystem::file_type::directory) throw logic_error(named + " is a directory");
    if(status.type() != std::filesystem::file_type::regular) {
      throw logic_error(
          named + " is not a regular file (a device, pipe or socket cannot be a " + std::string(kind) + ")");
    }
    auto size = std::filesystem::file_size(fileName, ec);
    if(!ec && size > maxBytes) {
      throw logic_error(named + " is larger than " + megabytes(maxBytes) + " (" + std::to_string(size) + " bytes)");
    }

    std::ifstream in(fileName, std::ios::binary);
    if(!in) throw logic_error(named + " cannot be read");
    std::string content;
    if(!ec) content.reserve(static_cast<std::size_t>(size));
    char chunk[16384];
    while(in.read(chunk, sizeof(chunk)) || in.gcount() > 0) {
      content.append(chunk, static_cast<std::size_t>(in.gcount()));
      if(content.size() > maxBytes) throw logic_error(named + " is larger than " + megabytes(maxBytes));
    }
    if(in.bad()) throw logic_error(named + " cannot be read");
    return content;
  }

} // namespace Corvane
