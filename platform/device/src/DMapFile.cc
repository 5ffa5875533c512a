#include "Corvane/DMapFile.h"

#include "Corvane/BackendFactory.h"
#include "Corvane/Exception.h"
#include "Corvane/TextFile.h"

#include <filesystem>
#include <sstream>

namespace Corvane {

  namespace {
    bool isAliasCharacter(char c) {
      return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '.' ||
          c == '-';
    }
  } // namespace

  DMapFile DMapFile::load(const std::string& fileName) {
    std::istringstream text(TextFile::read(fileName, "device map file"));
    auto directory = std::filesystem::absolute(fileName).parent_path();
    return parse(text, fileName, directory.string());
  }

  DMapFile DMapFile::parse(std::istream& input, const std::string& fileName, const std::string& baseDirectory) {
    DMapFile dmap;
    dmap._fileName = fileName;
    std::string line;
    std::size_t lineNumber = 0;
    while(std::getline(input, line)) {
      ++lineNumber;
      if(auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
      auto begin = line.find_first_not_of(" \t\r");
      if(begin == std::string::npos) continue;
      Entry entry;
      entry.fileName = fileName;
      entry.line = lineNumber;
      auto aliasEnd = line.find_first_of(" \t", begin);
      entry.alias = line.substr(begin, aliasEnd - begin);
      auto located = [&](const std::string& message) {
        return Corvane::logic_error(entry.location() + ": " + message);
      };
      for(char c : entry.alias) {
        if(!isAliasCharacter(c)) throw located("invalid alias \"" + entry.alias + "\"");
      }
      auto textBegin = line.find_first_not_of(" \t\r", aliasEnd);
      if(textBegin == std::string::npos) throw located("alias \"" + entry.alias + "\" has no device descriptor");
      entry.text = line.substr(textBegin, line.find_last_not_of(" \t\r") + 1 - textBegin);
      try {
        entry.descriptor = DeviceDescriptor::parse(entry.text);
      }
      catch(const Corvane::logic_error& e) {
        throw located(e.what());
      }
      if(auto map = entry.descriptor.parameters.find("map"); map != entry.descriptor.parameters.end()) {
        std::filesystem::path mapPath(map->second);
        if(!map->second.empty() && mapPath.is_relative()) {
          map->second = (std::filesystem::path(baseDirectory) / mapPath).lexically_normal().string();
        }
      }
      for(const auto& other : dmap._entries) {
        if(other.alias == entry.alias) {
          throw located("alias \"" + entry.alias + "\" already defined on line " + std::to_string(other.line));
        }
      }
      dmap._entries.push_back(std::move(entry));
    }
    if(input.bad()) throw Corvane::logic_error("error reading device map file " + fileName);
    return dmap;
  }

  bool DMapFile::hasAlias(const std::string& alias) const {
    for(const auto& entry : _entries) {
      if(entry.alias == alias) return true;
    }
    return false;
  }

  const DMapFile::Entry& DMapFile::getEntry(const std::string& alias) const {
    for(const auto& entry : _entries) {
      if(entry.alias == alias) return entry;
    }
    throw Corvane::logic_error("device alias \"" + alias + "\" not found in device map file " + _fileName);
  }

  const DMapFile::Entry* DMapFile::findEntry(const DeviceDescriptor& descriptor) const {
    for(const auto& entry : _entries) {
      if(entry.descriptor == descriptor) return &entry;
    }
    return nullptr;
  }

  void setDMapFilePath(const std::string& path) { BackendFactory::getInstance().setDMapFilePath(path); }

  std::string getDMapFilePath() { return BackendFactory::getInstance().getDMapFilePath(); }

} // namespace Corvane
