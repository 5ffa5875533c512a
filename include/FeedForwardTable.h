// The feed-forward table: per sample the generated table of the table generation ("Table/I", "Table/Q") plus
// the operators' user correction and the learned correction of the learning feed-forward, each switched on by
// its enable. The applied correction, in whole digits, is published as "Correction/Total"; the total is loaded
// into the board's double-buffered table "/Controller/FeedForward/TableTotal" under the firmware table lock.
// Every pass recomputes both arrays in full from the latest values; FeedForwardCorrection.h has the arithmetic.
//
// When a pass runs: at start with the initial values; after an update of an enable; after a user table update
// (a complete learned pair, below) only while the user (learned) correction is enabled (a table written meanwhile
// is applied once its enable is set); and after each new generated table.
//
// The generated table is taken as a pair: its I and Q arrive as two updates, written by the table generation
// with one version number. A new generated table is taken only once both arrays have been updated and carry
// the same version (IQVersionPairing.h); until then every pass uses the last table taken, so the board never
// gets the I of one generation with the Q of another, and an update of I alone causes no pass. The initial
// values are the first generation (the first value of each array). A generated table holding an element that
// is not finite or lies beyond single precision is refused with a warning: the last table taken stays in use
// and the firmware keeps its buffers. No pass runs before a generated table has been taken.
//
// The learned correction is paired the same way: the learning feed-forward writes the I and Q of one cycle as two
// updates with one version number, and a pass only ever uses the last complete pair (the initial values are the
// first), so that a pass woken by the learned I alone, or by any other input in between, never loads the new I
// with the previous Q.
//
// A learned sample that is not finite adds nothing to its sample's correction; a warning names the first such
// sample (at most one line a second, counting the passes in between).
#pragma once

#include "BufferedTable.h"
#include "IQVersionPairing.h"
#include "MultiClientFirmwareMutex.h"
#include "TableIQ.h"
#include "TableIQInput.h"

#include <Corvane/ApplicationModule.h>
#include <Corvane/ArrayAccessor.h>
#include <Corvane/LogRateLimit.h>
#include <Corvane/ScalarAccessor.h>
#include <Corvane/TransferElementID.h>
#include <Corvane/VariableGroup.h>

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

class FeedForwardTable : public Corvane::ApplicationModule {
 public:
  /// Source name of the module's log messages.
  static constexpr const char* logSource = "FeedForwardTable";

  FeedForwardTable(Corvane::ModuleGroup* owner, const std::string& name, const std::string& description,
      const std::unordered_set<std::string>& tags = {});

  void mainLoop() override;

  /// The corrections: the operators' switches and tables, the applied correction and the learned tables.
  class Correction : public Corvane::VariableGroup {
   public:
    Correction(Corvane::Module* owner, const std::string& name, const std::string& description);

    /// Elements of each array, fixed at construction.
    std::uint32_t pulseLength;
    Corvane::ScalarPushInput<Corvane::Boolean> enableUser{
        this, "enableUser", "", "If true, the user feed-forward correction tables will be applied"};
    Corvane::ScalarPushInput<Corvane::Boolean> enableLFF{
        this, "enableLFF", "", "If true, the correction from learning-feed-forward will be applied"};
    Corvane::ArrayPushInput<std::int32_t> I{
        this, "I", "digits", pulseLength, "Feed forward correction table for I, can be written by the user"};
    Corvane::ArrayPushInput<std::int32_t> Q{
        this, "Q", "digits", pulseLength, "Feed forward correction table for Q, can be written by the user"};
    TableIQ<int> total{this, "Total", ""};
    TableIQInput<float> learningFeedForward{this, "LearningFeedForward", "",
        "Feed forward correction table for I, written by learning feed forward algorithm",
        "Feed forward correction table for Q, written by learning feed forward algorithm"};
  };

  /// The name folds to "Table": "/Controller/FeedForward/Table/I" and "Q", where the table generation writes.
  TableIQInput<double> generatedTable{this, "GeneratedTable/../Table", "", "I", "Q"};
  Correction correction{this, "Correction", "Feed forward correction tables"};
  BufferedTable<double> tableTotal{this, "TableTotal", "Generated tables including correction tables"};
  MultiClientFirmwareMutex::ClientInterface tableLock{this, "/Controller/Configuration/tableBufferMode"};

 private:
  /// Whether the update of `changed` calls for a pass (takes a completed generated table).
  bool passFor(const Corvane::TransferElementID& changed);
  /// Takes the generated table's current I and Q as the one in use; false (with a warning) when refused.
  bool takeGeneratedTable();
  /// Takes the learned correction's current I and Q as the one in use.
  void takeLearnedTable();
  /// Sums, publishes the correction and loads the total into the firmware.
  void runPass();
  /// Reports learned samples of this pass that added nothing (rate-limited).
  void reportUnusableLearned(const std::string& text);

  std::vector<double> _generatedI;
  std::vector<double> _generatedQ;
  bool _hasGeneratedTable{false};
  IQVersionPairing _pairing;
  std::vector<float> _learnedI;
  std::vector<float> _learnedQ;
  IQVersionPairing _learnedPairing;
  Corvane::LogRateLimit _unusableLearnedLog;
};
