#include "Corvane/RegisterMap.h"

#include "Corvane/Exception.h"
#include "Corvane/RegisterPath.h"
#include "Corvane/TextFile.h"

#include <charconv>
#include <optional>
#include <sstream>

namespace Corvane {

  namespace {

    std::optional<std::uint64_t> parseUnsigned(std::string_view text) {
      int base = 10;
      if(text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
      }
      std::uint64_t value{};
      auto result = std::from_chars(text.data(), text.data() + text.size(), value, base);
      if(text.empty() || result.ec != std::errc{} || result.ptr != text.data() + text.size()) return std::nullopt;
      return value;
    }

    std::optional<std::int64_t> parseSigned(std::string_view text) {
      if(!text.empty() && text.front() == '+') text.remove_prefix(1);
      std::int64_t value{};
      auto result = std::from_chars(text.data(), text.data() + text.size(), value);
      if(text.empty() || result.ec != std::errc{} || result.ptr != text.data() + text.size()) return std::nullopt;
      return value;
    }

    /// Parses the fields of one line into a register; throws a plain message, located by the caller.
    class LineParser {
     public:
      LineParser(const std::vector<std::string>& fields, RegisterInfo& info) : _fields(fields), _info(info) {}

      void parse() {
        if(_fields.size() < 5 || _fields.size() > 9) {
          fail("expected NAME nElements address nBytes bar [width [fracBits [signed [access]]]], found " +
              std::to_string(_fields.size()) + " fields");
        }
        auto path = RegisterPath::normalise(_fields[0]);
        if(!path || *path == "/") fail("invalid register name \"" + _fields[0] + "\"");
        _info.path = *path;
        parseElements(_fields[1]);
        parseAddress(_fields[2]);
        _info.nBytes = number(_fields[3], "nBytes");
        auto bar = number(_fields[4], "bar");
        if(bar > 255) fail("bar " + _fields[4] + " outside 0..255");
        _info.bar = static_cast<std::uint8_t>(bar);
        if(_fields.size() > 5) parseWidth(_fields[5]);
        if(_fields.size() > 6) parseFracBits(_fields[6]);
        if(_fields.size() > 7) parseSigned(_fields[7]);
        if(_fields.size() > 8) parseAccess(_fields[8]);
        check();
      }

     private:
      [[noreturn]] static void fail(const std::string& message) { throw Corvane::logic_error(message); }

      std::uint64_t number(const std::string& text, const char* what) {
        auto value = parseUnsigned(text);
        if(!value) fail(std::string(what) + " \"" + text + "\" is not an unsigned number");
        return *value;
      }

      void parseAddress(const std::string& text) {
        auto colon = text.find(':');
        _info.address = number(text.substr(0, colon), "address");
        if(colon == std::string::npos) return;
        auto bit = parseUnsigned(std::string_view(text).substr(colon + 1));
        if(!bit || *bit > 31 || text.compare(colon + 1, 2, "0x") == 0) {
          fail("bit offset in address \"" + text + "\" must be a decimal number 0..31");
        }
        _info.isBitField = true;
        _info.bitOffset = static_cast<unsigned>(*bit);
      }

      void parseElements(const std::string& text) {
        auto x = text.find_first_of("xX");
        if(x == std::string::npos) {
          _info.nElements = number(text, "nElements");
          _info.nChannels = 1;
          _info.nSamples = _info.nElements;
          return;
        }
        auto channels = parseUnsigned(std::string_view(text).substr(0, x));
        auto samples = parseUnsigned(std::string_view(text).substr(x + 1));
        if(!channels || !samples || *channels == 0 || *samples == 0) {
          fail("2-D size \"" + text + "\" must be CxS with positive channel and sample counts");
        }
        if(*channels > (std::uint64_t{1} << 16) || *samples > (std::uint64_t{1} << 32)) {
          fail("2-D size \"" + text + "\" too large");
        }
        _info.nChannels = *channels;
        _info.nSamples = *samples;
        _info.nElements = *channels * *samples;
      }

      void parseWidth(const std::string& text) {
        auto width = number(text, "width");
        if(width > 32) fail("width " + text + " outside 0..32");
        _info.width = static_cast<unsigned>(width);
      }

      void parseFracBits(const std::string& text) {
        if(text == "IEEE754") {
          _info.encoding = RegisterInfo::Encoding::ieee754;
          return;
        }
        auto fracBits = Corvane::parseSigned(text);
        if(!fracBits) fail("fracBits \"" + text + "\" is neither an integer nor IEEE754");
        if(*fracBits < -FixedPointConverter::maxFracBits || *fracBits > FixedPointConverter::maxFracBits) {
          fail("fracBits " + text + " outside -256..256");
        }
        _info.fracBits = static_cast<int>(*fracBits);
      }

      void parseSigned(const std::string& text) {
        if(text != "0" && text != "1") fail("signed flag \"" + text + "\" must be 0 or 1");
        _info.isSigned = (text == "1");
      }

      void parseAccess(const std::string& text) {
        using Access = RegisterInfo::Access;
        if(text == "RO") _info.access = Access::readOnly;
        else if(text == "RW") _info.access = Access::readWrite;
        else if(text == "WO") _info.access = Access::writeOnly;
        else if(text == "INTERRUPT") _info.access = Access::interrupt;
        else if(text.starts_with("INTERRUPT:")) {
          auto n = parseUnsigned(std::string_view(text).substr(10));
          if(!n || *n > 0xFFFFFFFFu) fail("interrupt number in \"" + text + "\" is not a 32-bit unsigned number");
          _info.access = Access::interrupt;
          _info.interruptNumber = static_cast<std::uint32_t>(*n);
        }
        else {
          fail("access \"" + text + "\" must be RO, RW, WO, INTERRUPT or INTERRUPT:n");
        }
      }

      void check() {
        if(_info.width == 0) {
          if(_info.encoding == RegisterInfo::Encoding::ieee754) fail("an IEEE754 register needs width 32, not 0");
          _info.encoding = RegisterInfo::Encoding::none;
        }
        if(_info.encoding == RegisterInfo::Encoding::ieee754 && _info.width != 32) {
          fail("an IEEE754 register needs width 32, not " + std::to_string(_info.width));
        }
        if(_info.nElements == 0 && !_info.isInterrupt()) {
          fail("0 elements are allowed only for INTERRUPT registers");
        }
        if(_info.nElements > (std::uint64_t{1} << 40)) fail("register too large");
        if(_info.nBytes != 4 * _info.nElements) {
          fail("nBytes " + std::to_string(_info.nBytes) + " does not match " + std::to_string(_info.nElements) +
              " elements of 4 bytes (" + std::to_string(4 * _info.nElements) + ")");
        }
        if(_info.address % 4 != 0) fail("address " + _fields[2] + " is not a multiple of 4");
        if(_info.isBitField) {
          if(_info.encoding != RegisterInfo::Encoding::fixedPoint) {
            fail("a bit field (address " + _fields[2] + ") must be fixed point, with a width of 1..32");
          }
          if(_info.bitOffset + _info.width > 32) {
            fail(std::to_string(_info.width) + " bits from bit " + std::to_string(_info.bitOffset) +
                " reach beyond the 32-bit word (give the field's width)");
          }
        }
        if(_info.address > (std::uint64_t{1} << 48)) fail("address " + _fields[2] + " too large");
      }

      const std::vector<std::string>& _fields;
      RegisterInfo& _info;
    };

    std::vector<std::string> splitFields(const std::string& line) {
      std::vector<std::string> fields;
      std::istringstream stream(line);
      std::string field;
      while(stream >> field) fields.push_back(field);
      return fields;
    }

  } // namespace

  RegisterMap RegisterMap::load(const std::string& fileName) {
    std::istringstream text(TextFile::read(fileName, "register map file"));
    return parse(text, fileName);
  }

  RegisterMap RegisterMap::parse(std::istream& input, const std::string& fileName) {
    RegisterMap map;
    map._fileName = fileName;
    std::string line;
    std::size_t lineNumber = 0;
    while(std::getline(input, line)) {
      ++lineNumber;
      if(auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
      auto fields = splitFields(line);
      if(fields.empty()) continue;
      RegisterInfo info;
      info.mapFile = fileName;
      info.line = lineNumber;
      try {
        LineParser(fields, info).parse();
      }
      catch(const Corvane::logic_error& e) {
        throw Corvane::logic_error(info.location() + ": " + e.what());
      }
      if(auto existing = map._index.find(info.path); existing != map._index.end()) {
        throw Corvane::logic_error(info.location() + ": register " + info.path + " already defined on line " +
            std::to_string(map._registers[existing->second].line));
      }
      map._index.emplace(info.path, map._registers.size());
      map._registers.push_back(std::move(info));
    }
    if(input.bad()) throw Corvane::logic_error("error reading register map file " + fileName);
    map.checkNoRegisterIsADirectory();
    return map;
  }

  void RegisterMap::checkNoRegisterIsADirectory() const {
    // registers become variables by path; one path cannot be a variable and a directory
    for(const auto& info : _registers) {
      for(auto slash = info.path.find('/', 1); slash != std::string::npos; slash = info.path.find('/', slash + 1)) {
        if(auto parent = _index.find(info.path.substr(0, slash)); parent != _index.end()) {
          throw Corvane::logic_error(info.location() + ": register " + info.path + " lies below the register " +
              parent->first + " (line " + std::to_string(_registers[parent->second].line) +
              "); a path cannot be a register and a directory");
        }
      }
    }
  }

  bool RegisterMap::hasRegister(std::string_view path) const {
    auto canonical = RegisterPath::normalise(path);
    return canonical && _index.contains(*canonical);
  }

  const RegisterInfo& RegisterMap::getRegister(std::string_view path) const {
    auto canonical = RegisterPath::normalise(path);
    if(canonical) {
      if(auto found = _index.find(*canonical); found != _index.end()) return _registers[found->second];
    }
    throw Corvane::logic_error("register " + std::string(path) + " not found in register map " + _fileName);
  }

  std::vector<const RegisterInfo*> RegisterMap::registersBelow(std::string_view directory) const {
    auto canonical = RegisterPath::normalise(directory);
    if(!canonical) {
      throw Corvane::logic_error("invalid register directory \"" + std::string(directory) + "\" for register map " +
          _fileName);
    }
    std::vector<const RegisterInfo*> result;
    for(const auto& info : _registers) {
      if(RegisterPath::isBelow(info.path, *canonical)) result.push_back(&info);
    }
    return result;
  }

  std::map<std::uint8_t, std::uint64_t> RegisterMap::barSizes() const {
    std::map<std::uint8_t, std::uint64_t> sizes;
    for(const auto& info : _registers) {
      auto& size = sizes[info.bar];
      size = std::max(size, info.address + info.nBytes);
    }
    return sizes;
  }

} // namespace Corvane
