#include "FeedForwardTable.h"

#include "FeedForwardCorrection.h"
#include "TableNumerics.h"

#include <Corvane/ConfigReader.h>
#include <Corvane/ReadAnyGroup.h>
#include <Corvane/Time.h>
#include <Corvane/Utilities.h>

#include <sstream>

namespace {

  /// "<array>[<index>] is <value>, <n> samples in all" for the learned samples left out of one array, or "".
  std::string describe(const std::string& array, const FeedForwardCorrection::Unusable& unusable) {
    if(unusable.count == 0) return {};
    std::ostringstream text;
    text << array << "[" << unusable.firstIndex << "] is " << unusable.firstValue << " (" << unusable.count
         << (unusable.count == 1 ? " sample" : " samples") << " in all)";
    return text.str();
  }

} // namespace

FeedForwardTable::FeedForwardTable(Corvane::ModuleGroup* owner, const std::string& name,
    const std::string& description, const std::unordered_set<std::string>& tags)
: Corvane::ApplicationModule(owner, name, description, tags), _generatedI(correction.pulseLength),
  _generatedQ(correction.pulseLength) {}

FeedForwardTable::Correction::Correction(
    Corvane::Module* owner, const std::string& name, const std::string& description)
: Corvane::VariableGroup(owner, name, description, {}),
  pulseLength(appConfig().get<std::uint32_t>(ConfigurationKeys::pulseLength)) {}

void FeedForwardTable::mainLoop() {
  Corvane::ReadAnyGroup inputs{generatedTable.I, generatedTable.Q, correction.enableLFF, correction.enableUser,
      correction.I, correction.Q, correction.learningFeedForward.I, correction.learningFeedForward.Q};
  // the initial values are the first value of each array: one generation, and the learning's first tables
  takeLearnedTable();
  bool pass = takeGeneratedTable();
  while(true) {
    if(pass) runPass();
    pass = passFor(inputs.readAny());
  }
}

bool FeedForwardTable::passFor(const Corvane::TransferElementID& changed) {
  using Part = IQVersionPairing::Part;
  if(changed == generatedTable.I.getId() || changed == generatedTable.Q.getId()) {
    const bool isI = changed == generatedTable.I.getId();
    const auto& array = isI ? generatedTable.I : generatedTable.Q;
    return _pairing.update(isI ? Part::I : Part::Q, array.getVersionNumber()) && takeGeneratedTable();
  }
  // a table of a component that is switched off waits for its enable
  if((changed == correction.I.getId() || changed == correction.Q.getId()) && !correction.enableUser) return false;
  const auto& learned = correction.learningFeedForward;
  if(changed == learned.I.getId() || changed == learned.Q.getId()) {
    const bool isI = changed == learned.I.getId();
    // the learning writes I and Q of one cycle with one version: a half-arrived pair waits for its partner
    if(!_learnedPairing.update(isI ? Part::I : Part::Q, (isI ? learned.I : learned.Q).getVersionNumber())) {
      return false;
    }
    takeLearnedTable();
    return correction.enableLFF && _hasGeneratedTable;
  }
  return _hasGeneratedTable;
}

void FeedForwardTable::takeLearnedTable() {
  _learnedI = correction.learningFeedForward.I.value();
  _learnedQ = correction.learningFeedForward.Q.value();
}

bool FeedForwardTable::takeGeneratedTable() {
  auto unfit = TableNumerics::firstUnfitElement(generatedTable.I.value(), "I");
  if(!unfit) unfit = TableNumerics::firstUnfitElement(generatedTable.Q.value(), "Q");
  if(unfit) {
    logger(Corvane::Logger::Severity::warning, logSource)
        << "Generated table " << Corvane::Utilities::getPathName(generatedTable.I.getName()) << " refused: " << *unfit
        << "; the firmware keeps the last table";
    return false;
  }
  _generatedI = generatedTable.I.value();
  _generatedQ = generatedTable.Q.value();
  _hasGeneratedTable = true;
  return true;
}

void FeedForwardTable::runPass() {
  using FeedForwardCorrection::Components;
  const bool useUser = correction.enableUser;
  const bool useLearned = correction.enableLFF;
  auto components = [&](const std::vector<double>& generated, const std::vector<std::int32_t>& user,
                        const std::vector<float>& learned) {
    return Components{generated, useUser ? std::span<const std::int32_t>(user) : std::span<const std::int32_t>(),
        useLearned ? std::span<const float>(learned) : std::span<const float>()};
  };
  const auto unusableI = FeedForwardCorrection::sum(
      components(_generatedI, correction.I.value(), _learnedI),
      std::span<std::int32_t>(correction.total.I.data(), correction.total.I.size()),
      std::span<double>(tableTotal.I.data(), tableTotal.I.size()));
  const auto unusableQ = FeedForwardCorrection::sum(
      components(_generatedQ, correction.Q.value(), _learnedQ),
      std::span<std::int32_t>(correction.total.Q.data(), correction.total.Q.size()),
      std::span<double>(tableTotal.Q.data(), tableTotal.Q.size()));
  if(unusableI.count + unusableQ.count > 0) {
    auto text = describe("I", unusableI);
    if(unusableQ.count > 0) text += (text.empty() ? "" : ", ") + describe("Q", unusableQ);
    reportUnusableLearned(text);
  }
  correction.total.writeAll(false);
  tableTotal.writeToFirmware(tableLock, BufferedTable<double>::DataWrite::ordinary, logSource);
}

void FeedForwardTable::reportUnusableLearned(const std::string& text) {
  std::uint64_t passes = 0;
  if(!_unusableLearnedLog.noteAndCheck(Corvane::steadyNow(), passes)) return;
  auto line = logger(Corvane::Logger::Severity::warning, logSource);
  line << "Learned correction " << Corvane::Utilities::getPathName(correction.learningFeedForward.I.getName())
       << " not finite: " << text << "; such samples add nothing to the correction";
  if(passes > 1) line << " (" << passes << " passes with such samples since the last message)";
}
