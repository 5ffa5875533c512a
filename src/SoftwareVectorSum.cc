#include "SoftwareVectorSum.h"

#include "VectorSumKernels.h"

#include <Corvane/ConfigReader.h>

#include <algorithm>
#include <span>

namespace {

  // Samples summed over all channels before moving on: I and Q of one block stay in the
  // first-level cache while every channel is added to them.
  constexpr std::size_t blockLength = 1024;

} // namespace

SoftwareVectorSum::AdcBoard::AdcChannel::AdcChannel(Corvane::VariableGroup* owner, const std::string& name,
    const std::string& description, const std::string& includeFlagName)
: Corvane::VariableGroup(owner, name, description, {}),
  pulseLength(appConfig().get<std::uint32_t>("Configuration/pulseLength")),
  amplitude(this, "amplitude", "G.U.L.S.", pulseLength, "Amplitude over time", {}),
  phase(this, "phase", "deg", pulseLength, "Phase over time", {}), include(this, includeFlagName, "", "", {}) {
  // only read: shared with the control system and the other readers instead of copied
  amplitude.shareReceivedValues();
  phase.shareReceivedValues();
}

SoftwareVectorSum::SoftwareVectorSum(Corvane::ModuleGroup* owner, const std::string& name,
    const std::string& description, const std::string& includeFlagName, const std::unordered_set<std::string>& tags)
: Corvane::ApplicationModule(owner, name, description, tags),
  pulseLength(appConfig().get<std::uint32_t>("Configuration/pulseLength")),
  I(this, "I", "G.U.", pulseLength, "I component of computed vector sum", {}),
  Q(this, "Q", "G.U.", pulseLength, "Q component of computed vector sum", {}) {
  auto nBoards = appConfig().get<std::uint32_t>("Configuration/nAdcBoards");
  boards.reserve(nBoards);
  for(std::uint32_t b = 0; b < nBoards; ++b) {
    auto& board = boards.emplace_back(this, "/AdcBoard" + std::to_string(b), "", std::unordered_set<std::string>{});
    auto nChannels = appConfig().get<std::uint32_t>("Configuration/AdcBoard" + std::to_string(b) + "/nChannels");
    board.channels.reserve(nChannels);
    for(std::uint32_t c = 0; c < nChannels; ++c) {
      board.channels.emplace_back(&board, "Channel" + std::to_string(c), "", includeFlagName);
    }
  }
}

void SoftwareVectorSum::computeSum() {
  std::vector<const AdcBoard::AdcChannel*> included;
  for(auto& board : boards) {
    for(auto& channel : board.channels) {
      if(channel.include != 0) included.push_back(&channel);
    }
  }

  // A destructive write hands on the output buffers; the framework returns buffers of the same
  // length, whose contents are stale.
  std::span<float> i(I.data(), I.size()), q(Q.data(), Q.size());
  for(std::size_t begin = 0; begin < pulseLength; begin += blockLength) {
    const std::size_t n = std::min<std::size_t>(blockLength, pulseLength - begin);
    auto iBlock = i.subspan(begin, n), qBlock = q.subspan(begin, n);
    std::fill(iBlock.begin(), iBlock.end(), 0.F);
    std::fill(qBlock.begin(), qBlock.end(), 0.F);
    for(auto* channel : included) {
      VectorSumKernels::accumulate(std::span<const float>(channel->amplitude.data() + begin, n),
          std::span<const float>(channel->phase.data() + begin, n), iBlock, qBlock);
    }
  }
}

void SoftwareVectorSum::mainLoop() {
  bool anyChannel = false;
  for(auto& board : boards) anyChannel = anyChannel || !board.channels.empty();
  while(true) {
    computeSum();
    writeAllDestructively();
    // without any ADC channel there is nothing to wait for: the zero sum stays published
    if(!anyChannel) return;
    readAll();
  }
}
