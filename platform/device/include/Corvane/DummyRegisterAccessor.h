// A simulated board's own view of one of its registers: reads and writes the dummy's register
// space directly through the register's conversion, raising no register event and taking no
// lock (board code runs under the dummy's mutex already). Writes to a bit field keep the other
// bits of its words.
//
//   DummyRegisterAccessor<double> clockFrequency(*this, "BSP.WORD_CLK_FREQ");
//   clockFrequency = 65e6;
//   int32_t offsetQ = DummyRegisterAccessor<int32_t>(*this, "OUTPUT.WORD_DAC_OFFSET").get(1);
//
// The accessor refers to the backend's memory: it must not outlive the backend.
#pragma once

#include "Corvane/DummyBackend.h"

#include <algorithm>
#include <span>
#include <string>
#include <vector>

namespace Corvane {

  template<RawConversion::UserType T>
  class DummyRegisterAccessor {
   public:
    DummyRegisterAccessor(DummyBackend& backend, const std::string& registerPath)
    : _info(backend.getRegisterMap().getRegister(registerPath)), _converter(_info.converter()),
      _words(backend.rawWords(_info.bar, _info.address, _info.nElements), _info.nElements) {}

    std::size_t size() const { return _words.size(); }

    T get(std::size_t index = 0) const { return _converter.template toCooked<T>(_words[checked(index)]); }
    void set(std::size_t index, const T& value) {
      auto& word = _words[checked(index)];
      word = _info.mergeInto(word, _converter.template toRaw<T>(value));
    }

    std::vector<T> getAll() const {
      std::vector<T> values(_words.size());
      _converter.template toCooked<T>(std::span<const std::int32_t>(_words), std::span<T>(values));
      return values;
    }

    /// Writes the first values.size() elements (converted completely before any is stored).
    void setAll(const std::vector<T>& values) {
      if(values.size() > _words.size()) {
        throw Corvane::logic_error(std::to_string(values.size()) + " values do not fit register " + _info.path +
            " of " + std::to_string(_words.size()) + " elements");
      }
      std::vector<std::int32_t> raw(values.size());
      _converter.template toRaw<T>(std::span<const T>(values), std::span<std::int32_t>(raw));
      for(std::size_t i = 0; i < raw.size(); ++i) _words[i] = _info.mergeInto(_words[i], raw[i]);
    }

    /// Scalar use: element 0.
    operator T() const { return get(0); }
    DummyRegisterAccessor& operator=(const T& value) {
      set(0, value);
      return *this;
    }

    const RegisterInfo& getRegisterInfo() const { return _info; }

   private:
    std::size_t checked(std::size_t index) const {
      if(index >= _words.size()) {
        throw Corvane::logic_error("element " + std::to_string(index) + " outside register " + _info.path + " of " +
            std::to_string(_words.size()) + " elements");
      }
      return index;
    }

    RegisterInfo _info;
    RegisterConverter _converter;
    std::span<std::int32_t> _words;
  };

} // namespace Corvane
