// The text of a controller board's register map, for the test stations: lines
// "ToControlSystem.Controller.<name> <elements> <address> <bytes> 0 <format>"
// at consecutive word addresses, and the registers that the controller's
// modules meet, which the controller tests and the application tests share.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace controllertest {

  class ControllerRegisterMap {
   public:
    /// A map whose first register lies at byte address `address`.
    explicit ControllerRegisterMap(std::uint64_t address = 0) : _address(address) {}

    /// Adds a register of `n` words; `sameAddress` puts a read-back on the
    /// address of the register added before it.
    void add(const std::string& name, std::uint64_t n, const std::string& format, bool sameAddress = false) {
      if(sameAddress) _address -= 4;
      _text += "ToControlSystem.Controller." + name + " " + std::to_string(n) + " " + std::to_string(_address) + " " +
          std::to_string(4 * n) + " 0 " + format + "\n";
      _address += 4 * n;
    }

    /// The firmware table lock (its read-back on the address of the request),
    /// the double-buffered tables (the two rotation-and-scaling tables, the
    /// gain table, the feed-forward total and the set-point table; each
    /// current buffer on the address of its select), the DAQ traces, enables,
    /// limits and both coefficient sets; tables and traces of `samples` words.
    void addModuleRegisters(std::uint64_t samples) {
      add("Configuration.tableBufferMode.state", 1, "1 0 0 RW");
      add("Configuration.tableBufferMode.actualState", 1, "1 0 0 RO", true);
      // table and its fixed-point format: rotations and gains with fractional bits, the feed-forward in digits
      const std::pair<std::string, std::string> tables[] = {{"FeedForward.RotationTable.", "18 15 1 RW"},
          {"Output.CalibrationTable.", "18 15 1 RW"}, {"FeedBack.Gain.Table.", "18 12 1 RW"},
          {"FeedForward.TableTotal.", "18 0 1 RW"}};
      for(const auto& [table, format] : tables) {
        addBufferedTable(table, samples, format);
      }
      addBufferedTable("SetPoint.Table.", samples, "18 0 1 RW");
      for(const std::string channel :
          {"SetPoint", "VectorSum", "Error", "FeedForward", "FeedBack.Gain", "Output.Proportional", "Output.Total"}) {
        add(channel + ".DAQ.I", samples, "18 0 1 RO");
        add(channel + ".DAQ.Q", samples, "18 0 1 RO");
      }
      add("FeedForward.enable_actual", 1, "1 0 0 RW");
      add("FeedBack.enable_actual", 1, "1 0 0 RW");
      add("FeedBack.limitI", 1, "32 0 1 RW");
      add("FeedBack.limitQ", 1, "32 0 1 RW");
      for(const std::string set : {"FeedBack.MimoCoefficients.", "FeedBack.SmithCoefficients."}) {
        for(const std::string element : {"11", "12", "21", "22"}) {
          add(set + "A" + element, 2, "32 IEEE754 1 RW");
          add(set + "B" + element, 3, "32 IEEE754 1 RW");
        }
        add(set + "valid", 1, "1 0 0 RW");
      }
    }

    /// A double-buffered I/Q table of `samples` words in `format`.
    void addBufferedTable(const std::string& table, std::uint64_t samples, const std::string& format) {
      add(table + "I", samples, format);
      add(table + "Q", samples, format);
      add(table + "bufferSelectI", 1, "32 0 1 RW");
      add(table + "bufferCurrentI", 1, "32 0 1 RO", true);
      add(table + "bufferSelectQ", 1, "32 0 1 RW");
      add(table + "bufferCurrentQ", 1, "32 0 1 RO", true);
    }

    const std::string& text() const { return _text; }

   private:
    std::uint64_t _address;
    std::string _text;
  };

} // namespace controllertest
