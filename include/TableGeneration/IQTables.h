// The generated tables in I/Q, scaled into the board's digits (bitScaling /
// 2^vectorSumBitShift per unit of amplitude): the feed-forward table goes to
// "/Controller/FeedForward/Table" (I and Q), which the feed-forward table module
// reads; the set-point table, plus the operator's integer correction when it is
// enabled, goes into the board's double-buffered "/Controller/SetPoint/Table"
// under the firmware table lock, followed by the buffer switch. The last
// sub-algorithm of the table generation.
#pragma once

#include "BufferedTable.h"
#include "TableGeneration/SubAlgo.h"
#include "TableIQ.h"

#include <optional>
#include <string>

namespace TableGeneration {

  class IQTables : public SubAlgo {
   public:
    IQTables(TGenMain* owner, const std::string& name, const std::string& description,
        const std::unordered_set<std::string>& tags);

    /// Fills the I and Q arrays of both tables from the amplitude/phase tables.
    void compute();
    /// The feed-forward I and Q (outside the lock), then the set-point table
    /// into the board's free buffer and the switch to it (under the lock).
    void writeTables();

    /// Why the computed I/Q tables cannot leave the module: the first element
    /// that is not finite or lies beyond single precision; nullopt when none.
    std::optional<std::string> refusal() const;

    TableIQ<double> feedForwardTable{this, "FeedForward/Table", "Generated tables"};
    BufferedTable<double> setPointTable{this, "SetPoint/Table", "Generated tables"};
  };

} // namespace TableGeneration
