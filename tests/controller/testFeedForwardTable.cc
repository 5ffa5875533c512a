// The feed-forward table on the recording board: generated table plus user and learned corrections in the
// board's table registers, the learned correction truncated toward zero and never a NaN on the board, the
// generated I and Q and the learned ones each taken only as a pair of one generation, a generated table with an
// element that is not finite refused, and the passes that updates of switched-off corrections do not cause.
#include "FeedForwardTable.h"
#include "TableWriterStation.h"
#include "EdgeValues.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace controllertest;

namespace {

  using testvalues::nan;

  const std::string module = "/Controller/FeedForward/";
  const std::string feedForwardBoardTable = registersOf("/Controller/FeedForward/TableTotal");
  using Words = RecordingControllerBoard::Words;

  struct FeedForward : TableWriterStation<FeedForwardTable> {
    FeedForward() : TableWriterStation("feedforward", "Controller/FeedForward", pulseLength) {
      board->watchTable(feedForwardBoardTable);
    }

    /// A new generated table as the table generation writes it: I and Q with one version number.
    void generate(const std::vector<double>& i, const std::vector<double>& q) {
      const Corvane::VersionNumber version;
      test.writeArray(module + "Table/I", i, version);
      test.writeArray(module + "Table/Q", q, version);
      settle();
    }
    void generate(double i, double q) { generate(filled(i), filled(q)); }

    /// New learned tables as the learning feed-forward writes them: I and Q with one version number.
    void learn(const std::vector<float>& i, const std::vector<float>& q) {
      const Corvane::VersionNumber version;
      test.writeArray(module + "Correction/LearningFeedForward/I", i, version);
      test.writeArray(module + "Correction/LearningFeedForward/Q", q, version);
      settle();
    }

    /// One array of a table pair ("Table" or "Correction/LearningFeedForward"), every element `value`.
    void writeHalf(const std::string& pair, const std::string& part, double value, Corvane::VersionNumber version) {
      if(pair == "Table")
        test.writeArray(module + pair + "/" + part, filled(value), version);
      else
        test.writeArray(module + pair + "/" + part, std::vector<float>(pulseLength, float(value)), version);
    }

    template<class T>
    void write(const std::string& variable, const T& value) {
      if constexpr(std::is_same_v<T, bool>)
        test.writeScalar<Corvane::Boolean>(module + variable, Corvane::Boolean(value));
      else
        test.writeArray(module + variable, value);
      settle();
    }

    Words boardI() { return board->getRegister<std::int32_t>(feedForwardBoardTable + "/I"); }
    Words boardQ() { return board->getRegister<std::int32_t>(feedForwardBoardTable + "/Q"); }
    std::size_t passes() { return board->getWriteCount(feedForwardBoardTable + "/I"); }

    static std::vector<double> filled(double value) { return std::vector<double>(pulseLength, value); }
  };

  Words words(std::int32_t value) { return Words(pulseLength, value); }

  TEST(FeedForwardTable, WithoutCorrectionsTheBoardGetsTheGeneratedTableExactly) {
    FeedForward ff;
    const std::vector<double> i{0.25, -1.5, 2, 1000.75, -3, 0, 7, 8};
    const std::vector<double> q{1, 2, 3, 4, 5, 6, 7, -0.5};
    ff.generate(i, q);
    EXPECT_EQ(ff.test.readArray<double>(module + "TableTotal/I"), i);
    EXPECT_EQ(ff.test.readArray<double>(module + "TableTotal/Q"), q);
    EXPECT_EQ(ff.test.readArray<std::int32_t>(module + "Correction/Total/I"), words(0));
    // the board's table holds whole digits
    EXPECT_EQ(ff.boardI(), (Words{0, -2, 2, 1001, -3, 0, 7, 8}));
    EXPECT_EQ(ff.boardQ(), (Words{1, 2, 3, 4, 5, 6, 7, -1}));
  }

  TEST(FeedForwardTable, CorrectionsAreAddedInWholeDigitsWithTheLearnedOneTruncatedTowardZero) {
    FeedForward ff;
    ff.generate(100, -50);
    const float nanf = std::numeric_limits<float>::quiet_NaN();
    // user correction 0 or 10 with learned corrections: 2.7 -> 2, -2.7 -> -2, 0.9 -> 0, 10 + 2.7 -> 12,
    // 10 - 2.7 -> 7 (7.3 truncated), and NaN adds nothing
    ff.write("Correction/I", std::vector<std::int32_t>{0, 0, 0, 0, 10, 10, 10, 0});
    ff.write("Correction/Q", std::vector<std::int32_t>{0, 0, 0, 0, 10, 10, 10, -4});
    ff.learn(std::vector<float>{2.7F, -2.7F, 0.9F, -0.9F, 2.7F, -2.7F, nanf, 0},
        std::vector<float>{-2.7F, 2.7F, 0, 0, -2.7F, 2.7F, 0, nanf});
    ff.log.take();
    ff.board->watchTable(feedForwardBoardTable);
    ff.write("Correction/enableUser", true);
    ff.write("Correction/enableLFF", true);
    const Words correctionI{2, -2, 0, 0, 12, 7, 10, 0};
    const Words correctionQ{-2, 2, 0, 0, 7, 12, 10, -4};
    EXPECT_EQ(ff.test.readArray<std::int32_t>(module + "Correction/Total/I"), correctionI);
    EXPECT_EQ(ff.test.readArray<std::int32_t>(module + "Correction/Total/Q"), correctionQ);
    Words expectedI, expectedQ;
    for(std::size_t k = 0; k < pulseLength; ++k) {
      expectedI.push_back(correctionI[k] + 100);
      expectedQ.push_back(correctionQ[k] - 50);
    }
    EXPECT_EQ(ff.boardI(), expectedI);
    EXPECT_EQ(ff.boardQ(), expectedQ);
    for(double value : ff.test.readArray<double>(module + "TableTotal/I")) EXPECT_TRUE(std::isfinite(value));
    // both passes went to the board whole, the NaN samples named once
    EXPECT_EQ(ff.board->tablesWritten().size(), 2u);
    EXPECT_EQ(ff.log.warningsContaining("not finite"),
        std::vector<std::string>{"Learned correction /Controller/FeedForward/Correction/LearningFeedForward not "
                                 "finite: I[6] is nan (1 sample in all), Q[7] is nan (1 sample in all); such samples "
                                 "add nothing to the correction"});
    // only the user correction: its table plus the generated one
    ff.write("Correction/enableLFF", false);
    EXPECT_EQ(ff.boardI(), (Words{100, 100, 100, 100, 110, 110, 110, 100}));
    EXPECT_EQ(ff.boardQ(), (Words{-50, -50, -50, -50, -40, -40, -40, -54}));
  }

  TEST(FeedForwardTable, TablesOfASwitchedOffCorrectionWaitForTheirEnable) {
    FeedForward ff;
    ff.generate(1, 2);
    struct Case {
      std::string table, enable;
    };
    for(const auto& c : {Case{"Correction/I", "Correction/enableUser"},
            Case{"Correction/LearningFeedForward/I", "Correction/enableLFF"}}) {
      SCOPED_TRACE(c.table);
      const auto before = ff.passes();
      if(c.table == "Correction/I")
        ff.write(c.table, std::vector<std::int32_t>(pulseLength, 5));
      else
        ff.learn(std::vector<float>(pulseLength, 5.5F), std::vector<float>(pulseLength, 0.F));
      EXPECT_EQ(ff.passes(), before);
      EXPECT_EQ(ff.boardI(), words(1));
      // writing the enable applies the table held meanwhile; writing it again (unchanged) is a pass too
      ff.write(c.enable, true);
      EXPECT_EQ(ff.boardI(), words(6));
      ff.write(c.enable, true);
      EXPECT_EQ(ff.passes(), before + 2);
      ff.write(c.enable, false);
      EXPECT_EQ(ff.boardI(), words(1));
    }
    // a new generated table is a pass whatever the enables; every pass selects the other buffer
    const auto select = ff.board->getRegister<std::int32_t>(feedForwardBoardTable + "/bufferSelectI").at(0);
    ff.generate(3, 4);
    EXPECT_EQ(ff.boardQ(), words(4));
    EXPECT_EQ(ff.board->getRegister<std::int32_t>(feedForwardBoardTable + "/bufferSelectI").at(0), 1 - select);
    EXPECT_EQ(ff.board->getRegister<std::int32_t>(feedForwardBoardTable + "/bufferSelectQ").at(0), 1 - select);
  }

  TEST(FeedForwardTable, TheBoardOnlyGetsIAndQOfOneGeneration) {
    // the generated table and the learned correction both arrive as I and Q with one version; each pair is the
    // only non-zero part of the board's table in its case, beside the user correction
    for(const std::string pair : {"Table", "Correction/LearningFeedForward"}) {
      SCOPED_TRACE(pair);
      FeedForward ff;
      ff.write("Correction/enableUser", true);
      ff.write("Correction/enableLFF", true);
      auto both = [&](double i, double q) {
        const Corvane::VersionNumber version;
        ff.writeHalf(pair, "I", i, version);
        ff.writeHalf(pair, "Q", q, version);
      };
      if(pair != "Table") ff.generate(0, 0);
      both(1, -1);
      ff.settle();
      EXPECT_EQ(ff.boardI(), words(1));
      // the I of the next generation alone: no pass, the board keeps the last pair
      const auto passes = ff.passes();
      const Corvane::VersionNumber second;
      ff.writeHalf(pair, "I", 2, second);
      ff.settle();
      EXPECT_EQ(ff.passes(), passes);
      // a pass woken meanwhile by another input uses the last complete generation, not the new I with the old Q
      ff.write("Correction/I", std::vector<std::int32_t>(pulseLength, 10));
      EXPECT_EQ(ff.boardI(), words(11));
      EXPECT_EQ(ff.boardQ(), words(-1));
      // the Q of that generation completes it
      ff.writeHalf(pair, "Q", -2, second);
      ff.settle();
      EXPECT_EQ(ff.boardI(), words(12));
      EXPECT_EQ(ff.boardQ(), words(-2));
      // generations in a row, faster than the writes: each table on the board is one generation's
      ff.board->watchTable(feedForwardBoardTable);
      for(double generation : {3.0, 4.0, 5.0}) both(generation, -generation);
      ff.settle();
      const auto tables = ff.board->tablesWritten();
      ASSERT_FALSE(tables.empty());
      for(const auto& [i, q] : tables) {
        SCOPED_TRACE(::testing::PrintToString(i) + " / " + ::testing::PrintToString(q));
        // I = generation + 10 (user) everywhere, Q = -generation
        EXPECT_EQ(i, words(i.front()));
        EXPECT_EQ(q, words(-(i.front() - 10))) << "I and Q of different generations";
      }
      EXPECT_EQ(tables.back().first, words(15));
    }
  }

  TEST(FeedForwardTable, AGeneratedTableThatIsNotFiniteIsRefusedWithoutABufferSwitch) {
    FeedForward ff;
    ff.generate(1, 2);
    const auto select = ff.board->getRegister<std::int32_t>(feedForwardBoardTable + "/bufferSelectI").at(0);
    const auto writes = ff.board->getWriteCount();
    auto q = FeedForward::filled(7);
    q[3] = nan;
    ff.log.take();
    ff.generate(FeedForward::filled(7), q);
    EXPECT_EQ(ff.board->getWriteCount(), writes);
    EXPECT_EQ(ff.board->getRegister<std::int32_t>(feedForwardBoardTable + "/bufferSelectI").at(0), select);
    EXPECT_EQ(ff.boardQ(), words(2));
    EXPECT_EQ(ff.log.warningsContaining("refused"),
        std::vector<std::string>{
            "Generated table /Controller/FeedForward/Table refused: Q[3] is nan; the firmware keeps the last table"});
    // the corrections still apply to the last generated table taken
    ff.write("Correction/enableUser", true);
    ff.write("Correction/Q", std::vector<std::int32_t>(pulseLength, 3));
    EXPECT_EQ(ff.boardI(), words(1));
    EXPECT_EQ(ff.boardQ(), words(5));
    // a finite generation is taken again
    ff.generate(-4, 8);
    EXPECT_EQ(ff.boardQ(), words(11));
  }

} // namespace
