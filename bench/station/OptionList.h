// The command line of the benchmarks that drive the station (bench_station,
// bench_recorder_switch): pairs "--name value", each read into a member of the program's options.
// A name that was not declared is an error ("unknown option --name"); a last name without a
// value is ignored.
#pragma once

#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <type_traits>

namespace stationbench {

  class OptionList {
   public:
    /// Declares "--name", whose value is read into `target`: a floating-point number by
    /// std::stod, a signed integer by std::stoi, an unsigned one by std::stoul, a string as it is.
    template<class T>
    OptionList& add(std::string name, T& target) {
      _setters.emplace(std::move(name), [&target](const std::string& value) { target = convert<T>(value); });
      return *this;
    }

    /// Reads every pair of the command line into its target, in order.
    void parse(int argc, char** argv) const {
      for(int k = 1; k + 1 < argc; k += 2) {
        std::string name = argv[k];
        auto setter = _setters.find(name);
        if(setter == _setters.end()) throw std::runtime_error("unknown option " + name);
        setter->second(argv[k + 1]);
      }
    }

   private:
    template<class T>
    static T convert(const std::string& value) {
      if constexpr(std::is_same_v<T, std::string>) return value;
      else if constexpr(std::is_floating_point_v<T>) return static_cast<T>(std::stod(value));
      else if constexpr(std::is_signed_v<T>) return static_cast<T>(std::stoi(value));
      else return static_cast<T>(std::stoul(value));
    }

    std::map<std::string, std::function<void(const std::string&)>> _setters;
  };

} // namespace stationbench
