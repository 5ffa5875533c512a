// GlobalSamplePoints<T>: the values of one channel at the station's one global sampling position, shifted by
// the channel's own time offset.
//
// The group owns the channel's "samplingOffset" (us), its reading of "/Configuration/samplingFrequency", one
// group T of output values (named after the last component of the given name, description "Samples") and one
// Position reading "/Configuration/SamplingPosition/index". Once per pass the owning module calls update():
// it forms the effective sample index, lets the owner copy its values at that index into T, and writes T.
//
// The effective index is the global index plus round(offset x frequency) (halves away from zero), kept
// inside the owner's arrays: it is formed in a wide signed type and clamped into 0 to length - 1, so a
// negative offset near the start of the pulse or a positive one near its end reads the first or the last
// sample instead of reading outside the arrays. An offset that is not finite is refused: the last usable
// offset (0 at first) stays in use and one warning names the refused value.
#pragma once

#include "SampleIndex.h"

#include <Corvane/Logger.h>
#include <Corvane/ScalarAccessor.h>
#include <Corvane/Utilities.h>
#include <Corvane/VariableGroup.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

template<class T>
class GlobalSamplePoints : public Corvane::VariableGroup {
 public:
  /// Where one group T samples: the global index and, after update(), the effective index.
  class Position : public Corvane::VariableGroup {
   public:
    Position() = default;
    Position(Corvane::VariableGroup* owner, const std::string& name, const std::string& description)
    : Corvane::VariableGroup(owner, name, description) {}
    Position(Position&&) noexcept = default;
    Position& operator=(Position&&) noexcept = default;
    ~Position() override = default;

    Corvane::ScalarPollInput<std::uint32_t> index{this, "index", "", "Sampling position index"};
    std::uint32_t sampleIndex{0};
  };

  /// A placeholder that takes part in nothing.
  GlobalSamplePoints() = default;

  /// The group lies in the directory part of `name` ("." when it has none); further arguments go to T.
  template<class... TArguments>
  GlobalSamplePoints(Corvane::VariableGroup* owner, std::string name, const std::string& description,
      const std::unordered_set<std::string>& tags, TArguments&&... tArguments)
  : Corvane::VariableGroup(owner, Corvane::Utilities::getPathName(name), description, tags) {
    samples.reserve(1);
    positions.reserve(1);
    samples.emplace_back(
        this, Corvane::Utilities::getUnqualifiedName(name), "Samples", std::forward<TArguments>(tArguments)...);
    positions.emplace_back(this, "/Configuration/SamplingPosition", "");
  }

  GlobalSamplePoints(GlobalSamplePoints&&) noexcept = default;
  GlobalSamplePoints& operator=(GlobalSamplePoints&&) noexcept = default;
  ~GlobalSamplePoints() override = default;

  Corvane::ScalarPollInput<double> samplingOffset{
      this, "samplingOffset", "us", "Offset of sampling position for the individual channel", {}};
  Corvane::ScalarPollInput<double> samplingFrequency{
      this, "/Configuration/samplingFrequency", "MHz", "IQ sampling frequency as used for the ADC channels", {}};
  std::vector<T> samples;
  std::vector<Position> positions;

  /// Sets each position's effective index within arrays of `arrayLength` elements, calls
  /// `extract(const Position&, T&)` to fill T from the owner's arrays at that index, and writes T. Empty
  /// arrays have no sample to take: T is then written with the values it holds.
  template<class Extract>
  void update(std::size_t arrayLength, Extract&& extract) {
    const auto offset = SampleIndex::offsetInSamples(samplingOffset, samplingFrequency);
    if(offset) {
      _offset = *offset;
      _offsetRefused = false;
    }
    else if(!_offsetRefused) {
      _offsetRefused = true;
      Corvane::logger(Corvane::Logger::Severity::warning, "GlobalSamplePoints")
          << "sampling offset " << static_cast<double>(samplingOffset) << " us at "
          << static_cast<double>(samplingFrequency) << " MHz (" << samplingOffset.getName()
          << ") is not a finite number of samples; the offset of " << _offset << " samples stays in use";
    }
    for(std::size_t k = 0; k < samples.size(); ++k) {
      positions[k].sampleIndex = SampleIndex::effectiveIndex(positions[k].index, _offset, arrayLength);
      if(arrayLength > 0) extract(static_cast<const Position&>(positions[k]), samples[k]);
      samples[k].writeAll();
    }
  }

 private:
  std::int64_t _offset{0};
  bool _offsetRefused{false};
};
