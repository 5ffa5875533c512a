#include "SoftwareVectorSum.h"

#include "ConfigurationLimits.h"
#include "ConfigurationKeys.h"
#include "VectorSumKernels.h"

#include <Corvane/ConfigReader.h>

#include <algorithm>
#include <span>

SoftwareVectorSum::AdcBoard::AdcChannel::AdcChannel(Corvane::VariableGroup* owner, const std::string& name,
    const std::string& description, const std::string& includeFlagName)
: Corvane::VariableGroup(owner, name, description, {}),
  pulseLength(ConfigurationLimits::pulseLength(appConfig())),
  amplitude(this, "amplitude", "G.U.L.S.", pulseLength, "Amplitude over time", {}),
  phase(this, "phase", "deg", pulseLength, "Phase over time", {}), include(this, includeFlagName, "", "", {}) {
  // only read: shared with the control system and the other readers instead of copied
  amplitude.shareReceivedValues();
  phase.shareReceivedValues();
}

SoftwareVectorSum::SoftwareVectorSum(Corvane::ModuleGroup* owner, const std::string& name,
    const std::string& description, const std::string& includeFlagName, const std::unordered_set<std::string>& tags)
: Corvane::ApplicationModule(owner, name, description, tags),
  pulseLength(ConfigurationLimits::pulseLength(appConfig())),
  I(this, "I", "G.U.", pulseLength, "I component of computed vector sum", {}),
  Q(this, "Q", "G.U.", pulseLength, "Q component of computed vector sum", {}) {
  auto nBoards = ConfigurationLimits::adcBoards(appConfig());
  boards.reserve(nBoards);
  for(std::uint32_t b = 0; b < nBoards; ++b) {
    auto& board = boards.emplace_back(this, "/AdcBoard" + std::to_string(b), "", std::unordered_set<std::string>{});
    auto nChannels = ConfigurationLimits::channels(appConfig(), "AdcBoard" + std::to_string(b));
    board.channels.reserve(nChannels);
    for(std::uint32_t c = 0; c < nChannels; ++c) {
      board.channels.emplace_back(&board, "Channel" + std::to_string(c), "", includeFlagName);
    }
  }
}

void SoftwareVectorSum::clearSum() {
  // A destructive write hands on the output buffers; the framework returns buffers of the same
  // length, whose contents are stale.
  std::fill(I.begin(), I.end(), 0.F);
  std::fill(Q.begin(), Q.end(), 0.F);
}

void SoftwareVectorSum::addChannel(const AdcBoard::AdcChannel& channel) {
  if(channel.include == 0) return;
  VectorSumKernels::accumulate(std::span<const float>(channel.amplitude.data(), pulseLength),
      std::span<const float>(channel.phase.data(), pulseLength), std::span<float>(I.data(), I.size()),
      std::span<float>(Q.data(), Q.size()));
}

void SoftwareVectorSum::mainLoop() {
  bool anyChannel = false;
  for(auto& board : boards) anyChannel = anyChannel || !board.channels.empty();
  // The first values are all there when the loop starts. Afterwards each channel is added as soon
  // as its arrays arrive, in channel order (the order in which readAll reads them, and the order of
  // the additions per sample), so that the sum is all but done when the last channel comes.
  for(bool first = true;; first = false) {
    clearSum();
    for(auto& board : boards) {
      for(auto& channel : board.channels) {
        if(!first) {
          channel.amplitude.read();
          channel.phase.read();
          channel.include.read();
        }
        addChannel(channel);
      }
    }
    writeAllDestructively();
    // without any ADC channel there is nothing to wait for: the zero sum stays published
    if(!anyChannel) return;
  }
}
