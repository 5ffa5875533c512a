// Corvane::ConfigFile reads a station's configuration file (<instance>_base_config.xml) into typed
// values under "/"-joined keys. The whole file is checked when it is loaded, so that a bad file
// stops start-up with one message naming the file, the line and the key. The object is immutable
// afterwards: any thread may read it without locking.
//
// File format (the root element's name is free and is not part of the keys):
//   <configuration>
//     <module name="Configuration">
//       <variable name="nAdcBoards" type="uint32" value="2"/>
//       <module name="MicroDAQ"> <variable name="enableDetails" type="boolean" value="false"/> </module>
//       <variable name="extraDevices" type="string"> <value i="0" v="Timing"/> <value i="1" v="Cryo"/> </variable>
//     </module>
//   </configuration>
// Types: int32 uint32 int64 uint64 float double string boolean. Numbers are decimal (an optional
// leading '+', no surrounding blanks) and must be finite and representable in their type;
// booleans are true, false, 1 or 0. An array lists each index 0..n-1 exactly once, in any order;
// an array cannot be empty (leave the key out instead). Names consist of [A-Za-z0-9_.-] and are
// neither "." nor "..". No key may lie below another key ("A" and "A/b").
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

namespace Corvane {

  // The C++ types of configuration values; the file's "boolean" is bool here.
  template<class T>
  concept ConfigValueType = std::same_as<T, std::int32_t> || std::same_as<T, std::uint32_t> ||
      std::same_as<T, std::int64_t> || std::same_as<T, std::uint64_t> || std::same_as<T, float> ||
      std::same_as<T, double> || std::same_as<T, std::string> || std::same_as<T, bool>;

  class ConfigFile {
   public:
    // One alternative per type name of the file, in this order:
    // int32, uint32, int64, uint64, float, double, string, boolean.
    using Values = std::variant<std::vector<std::int32_t>, std::vector<std::uint32_t>, std::vector<std::int64_t>,
        std::vector<std::uint64_t>, std::vector<float>, std::vector<double>, std::vector<std::string>,
        std::vector<bool>>;

    struct Entry {
      std::string key;           // e.g. "Configuration/AdcBoard0/nChannels"
      std::string typeName;      // as written in the file: "int32", ..., "boolean"
      bool isArray{false};       // written with <value i=".." v=".."/> elements
      std::size_t nElements{0};  // 1 for a scalar
      Values values;             // a scalar holds one element
      std::size_t line{0};       // line of the <variable> element, counted from 1
    };

    // Reads and checks the file (a relative name is relative to the working directory). It must
    // be a regular file of at most TextFile::defaultMaxBytes. Throws Corvane::logic_error on any
    // error in the file, or when it cannot be read.
    explicit ConfigFile(std::string fileName);

    const std::string& fileName() const { return fileName_; }

    // Every variable, in the order of the file.
    const std::vector<Entry>& entries() const { return entries_; }

    bool contains(const std::string& key) const { return index_.contains(key); }

    // Throws Corvane::logic_error naming the key and the file when the key is missing.
    const Entry& entry(const std::string& key) const;

    // Where a key is, for messages about its value: <file>:<line>: key "<key>" (without a line
    // when the file has no such key).
    std::string describe(const std::string& key) const;

    // The value of a scalar key of exactly type T. A missing key, another type, or an array key
    // throw Corvane::logic_error naming the key, the file and the requested and found types.
    template<ConfigValueType T>
    T get(const std::string& key) const;

    // The same for array keys; a scalar key is a mismatch.
    template<ConfigValueType T>
    std::vector<T> getArray(const std::string& key) const;

    // The file's name of the type T ("int32", ..., "boolean").
    template<ConfigValueType T>
    static const char* typeNameOf();

   private:
    template<ConfigValueType T>
    static constexpr std::size_t indexOf = std::same_as<T, std::int32_t> ? 0
        : std::same_as<T, std::uint32_t>                                 ? 1
        : std::same_as<T, std::int64_t>                                  ? 2
        : std::same_as<T, std::uint64_t>                                 ? 3
        : std::same_as<T, float>                                         ? 4
        : std::same_as<T, double>                                        ? 5
        : std::same_as<T, std::string>                                   ? 6
                                                                         : 7;

    static const char* typeNameAt(std::size_t typeIndex);
    const Entry& checked(const std::string& key, std::size_t typeIndex, bool isArray) const;

    std::string fileName_;
    std::vector<Entry> entries_;
    std::unordered_map<std::string, std::size_t> index_;
  };

  template<ConfigValueType T>
  T ConfigFile::get(const std::string& key) const {
    return std::get<indexOf<T>>(checked(key, indexOf<T>, false).values).front();
  }

  template<ConfigValueType T>
  std::vector<T> ConfigFile::getArray(const std::string& key) const {
    return std::get<indexOf<T>>(checked(key, indexOf<T>, true).values);
  }

  template<ConfigValueType T>
  const char* ConfigFile::typeNameOf() {
    return typeNameAt(indexOf<T>);
  }

} // namespace Corvane
