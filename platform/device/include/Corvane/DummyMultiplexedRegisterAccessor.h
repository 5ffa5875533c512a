// A simulated board's own view of a 2-D area of its register space (channels x samples, each
// channel's samples contiguous), with the same rules as DummyRegisterAccessor: direct,
// converted, no event, no lock, must not outlive the backend.
//
//   DummyMultiplexedRegisterAccessor<double> daq(*this, "APP.DAQ0_BUF0");
//   daq.set(channel, sample, value);
#pragma once

#include "Corvane/DummyBackend.h"

#include <span>
#include <string>

namespace Corvane {

  template<RawConversion::UserType T>
  class DummyMultiplexedRegisterAccessor {
   public:
    DummyMultiplexedRegisterAccessor(DummyBackend& backend, const std::string& registerPath)
    : _info(backend.getRegisterMap().getRegister(registerPath)), _converter(_info.converter()),
      _words(backend.rawWords(_info.bar, _info.address, _info.nElements), _info.nElements) {}

    std::size_t getNumberOfChannels() const { return _info.nChannels; }
    std::size_t getNumberOfSamples() const { return _info.nSamples; }

    T get(std::size_t channel, std::size_t sample) const {
      return _converter.template toCooked<T>(_words[index(channel, sample)]);
    }
    void set(std::size_t channel, std::size_t sample, const T& value) {
      auto& word = _words[index(channel, sample)];
      word = _info.mergeInto(word, _converter.template toRaw<T>(value));
    }

    const RegisterInfo& getRegisterInfo() const { return _info; }

   private:
    std::size_t index(std::size_t channel, std::size_t sample) const {
      if(channel >= _info.nChannels || sample >= _info.nSamples) {
        throw Corvane::logic_error("channel " + std::to_string(channel) + ", sample " + std::to_string(sample) +
            " outside register " + _info.path + " of " + std::to_string(_info.nChannels) + "x" +
            std::to_string(_info.nSamples));
      }
      return channel * _info.nSamples + sample;
    }

    RegisterInfo _info;
    RegisterConverter _converter;
    std::span<std::int32_t> _words;
  };

} // namespace Corvane
