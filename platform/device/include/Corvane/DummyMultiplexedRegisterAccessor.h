// A simulated board's own view of a 2-D area of its register space (channels x samples, each
// channel's samples contiguous), with the same rules as DummyRegisterAccessor: direct,
// converted, no event, no lock, must not outlive the backend.
//
//   DummyMultiplexedRegisterAccessor<double> daq(*this, "APP.DAQ0_BUF0");
//   daq.set(channel, sample, value);
//   daq.setSamples(channel, 0, pulse);   // a whole run of samples, converted in one go
#pragma once

#include "Corvane/DummyBackend.h"

#include <algorithm>

#include <span>
#include <string>
#include <vector>

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

    /// Writes values.size() samples of a channel from `firstSample` on, converted as a whole
    /// before any is stored (a refused value stores nothing); Corvane::logic_error beyond the area.
    void setSamples(std::size_t channel, std::size_t firstSample, std::span<const T> values) {
      if(values.empty()) return;
      const std::size_t first = index(channel, firstSample);
      index(channel, firstSample + values.size() - 1);
      _scratch.resize(values.size());
      _converter.template toRaw<T>(values, std::span<std::int32_t>(_scratch));
      if(_info.isBitField) {
        for(std::size_t i = 0; i < values.size(); ++i) _words[first + i] = _info.mergeInto(_words[first + i], _scratch[i]);
      }
      else {
        std::copy(_scratch.begin(), _scratch.end(), _words.begin() + static_cast<std::ptrdiff_t>(first));
      }
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
    std::vector<std::int32_t> _scratch; ///< raw words of a setSamples before they are stored
  };

} // namespace Corvane
