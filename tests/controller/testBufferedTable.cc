// The double-buffer protocol of a controller table, as the board sees it: lock, write I, write Q, read both
// current buffers, select the other ones, unlock; the selects for each current buffer; the lock released when
// a write fails; and a table with an element the firmware cannot take refused before the lock. A test writer
// owns the table at the feed-forward rotation table's registers and writes what the test gives it.
#include "BufferedTable.h"
#include "ControllerStation.h"

#include <Corvane/DeviceModule.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace controllertest;
using std::chrono::microseconds;

namespace {

  const std::string writerPath = feedForwardRotation;
  const std::string rotationBoardTable = registersOf(feedForwardRotation);
  const std::string lockState = "ToControlSystem/Controller/Configuration/tableBufferMode/state";

  /// Each value of "newI" is copied, with the latest "newQ", into the table and written to the firmware.
  struct TableWriter : Corvane::ApplicationModule {
    using Corvane::ApplicationModule::ApplicationModule;
    void mainLoop() override {
      while(true) {
        newI.read();
        newQ.readLatest();
        table.I = newI.value();
        table.Q = newQ.value();
        table.writeToFirmware(lockClient, BufferedTable<double>::DataWrite::ordinary, "TableWriter");
      }
    }
    Corvane::ArrayPushInput<double> newI{this, "newI", "", pulseLength, ""};
    Corvane::ArrayPollInput<double> newQ{this, "newQ", "", pulseLength, ""};
    MultiClientFirmwareMutex::ClientInterface lockClient{this, "/Controller/Configuration/tableBufferMode"};
    BufferedTable<double> table{this, ".", ""};
  };

  struct WriterApp : Corvane::Application {
    WriterApp() : Corvane::Application("tablewriter") {}
    Corvane::SetDMapFilePath dmap{writeStation("tablewriter", 1, 0)};
    Corvane::ConfigReader config{this, ".", "tablewriter_base_config.xml"};
    Corvane::DeviceModule device{this, "Controller", "", {}, "/ToControlSystem"};
    TableWriter writer{this, writerPath, "Table writer"};
    MultiClientFirmwareMutex mutex{this, "/Controller/Configuration/tableBufferMode", ""};
  };

  struct Writer {
    Writer() : test(app) {
      test.runApplication();
      board = std::dynamic_pointer_cast<RecordingControllerBoard>(
          Corvane::BackendFactory::getInstance().findBackend("Controller"));
      board->watchTable(rotationBoardTable);
    }

    /// Hands a table to the writer and lets it finish (the lock's read-back is polled every 10 us).
    void write(const std::vector<double>& i, const std::vector<double>& q) {
      test.writeArray(writerPath + "/newQ", q);
      test.writeArray(writerPath + "/newI", i);
      for(int k = 0; k < 10; ++k) test.advanceTime(microseconds(10));
    }
    void write(double i, double q) { write(std::vector<double>(pulseLength, i), std::vector<double>(pulseLength, q)); }

    /// The firmware reports `current` buffers (the register shared with the select).
    void setCurrent(std::int32_t currentI, std::int32_t currentQ) {
      board->setRegister<std::int32_t>(rotationBoardTable + "/bufferCurrentI", {currentI});
      board->setRegister<std::int32_t>(rotationBoardTable + "/bufferCurrentQ", {currentQ});
    }
    std::int32_t select(const std::string& which) {
      return test.readScalar<std::int32_t>(writerPath + "/bufferSelect" + which);
    }

    Corvane::LogCapture log;
    WriterApp app;
    Corvane::TestFacility test;
    std::shared_ptr<RecordingControllerBoard> board;
  };

  const std::vector<std::string> fullProtocol = {"lock", "write I", "write Q", "read current I", "read current Q",
      "write select I", "write select Q", "unlock"};

  TEST(BufferedTable, TheBoardSeesLockDataCurrentBuffersSelectsUnlockInThisOrder) {
    Writer writer;
    writer.write(0.5, -0.25);
    EXPECT_EQ(writer.board->accesses(), fullProtocol);
    EXPECT_EQ(writer.board->getRegister<double>(rotationBoardTable + "/I"), std::vector<double>(pulseLength, 0.5));
    EXPECT_EQ(writer.board->getRegister<double>(rotationBoardTable + "/Q"), std::vector<double>(pulseLength, -0.25));
    EXPECT_EQ(writer.board->getRegister<std::int32_t>(lockState).at(0), 1);

    // an unchanged current buffer: the select stays as written, but data and lock go to the board again
    writer.setCurrent(2, 2);
    writer.board->watchTable(rotationBoardTable);
    writer.write(1, 1);
    writer.setCurrent(2, 2);
    writer.board->watchTable(rotationBoardTable);
    writer.write(2, 2);
    EXPECT_EQ(writer.board->accesses(),
        (std::vector<std::string>{"lock", "write I", "write Q", "read current I", "read current Q", "unlock"}));
    EXPECT_EQ(writer.board->getRegister<double>(rotationBoardTable + "/I"), std::vector<double>(pulseLength, 2));
  }

  TEST(BufferedTable, EachSelectIsTheOtherBufferOfItsCurrentOne) {
    struct Case {
      std::int32_t currentI, currentQ, selectI, selectQ;
    };
    const Case cases[] = {{0, 0, 1, 1}, {1, 1, 0, 0}, {0, 1, 1, 0}, {1, 0, 0, 1}, {2, 0, 0, 1}, {-1, 7, 0, 0}};
    Writer writer;
    for(const auto& c : cases) {
      writer.setCurrent(c.currentI, c.currentQ);
      writer.write(1, 1);
      EXPECT_EQ(writer.select("I"), c.selectI) << "current I " << c.currentI;
      EXPECT_EQ(writer.select("Q"), c.selectQ) << "current Q " << c.currentQ;
    }
  }

  TEST(BufferedTable, ABoardWriteThatThrowsStillReleasesTheLock) {
    Writer writer;
    writer.board->failNextQWrite();
    writer.test.writeArray(writerPath + "/newI", std::vector<double>(pulseLength, 1));
    std::string failure;
    for(int k = 0; k < 10 && failure.empty(); ++k) {
      try {
        writer.test.advanceTime(microseconds(10));
      }
      catch(const Corvane::runtime_error& e) {
        failure = e.what();
      }
    }
    // the exception left the writer (and with it the application) only after the unlock
    EXPECT_NE(failure.find("simulated failure of the Q write"), std::string::npos) << failure;
    EXPECT_EQ(writer.board->accesses(), (std::vector<std::string>{"lock", "write I", "unlock"}));
    EXPECT_EQ(writer.board->getRegister<std::int32_t>(lockState).at(0), 1);
  }

  TEST(BufferedTable, ATableWithAnElementTheFirmwareCannotTakeIsRefusedBeforeTheLock) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
      std::size_t index;
      double iValue, qValue;
      std::string reason;
    };
    const Case cases[] = {{2, nan, 0, "I[2] is nan"}, {7, 0, -inf, "Q[7] is -inf"}, {0, 1e39, 0, "I[0] is 1e+39"},
        {5, 1, nan, "Q[5] is nan"}};
    Writer writer;
    writer.write(0.5, 0.5);
    const auto selectI = writer.select("I");
    const auto lockWrites = writer.board->getWriteCount(lockState);
    for(const auto& c : cases) {
      std::vector<double> i(pulseLength, 1), q(pulseLength, 1);
      i[c.index] = c.iValue;
      q[c.index] = c.qValue;
      writer.board->watchTable(rotationBoardTable);
      writer.log.take();
      writer.write(i, q);
      EXPECT_TRUE(writer.board->accesses().empty()) << c.reason;
      EXPECT_EQ(writer.board->getWriteCount(lockState), lockWrites) << c.reason;
      EXPECT_EQ(writer.board->getRegister<double>(rotationBoardTable + "/I"), std::vector<double>(pulseLength, 0.5));
      EXPECT_EQ(writer.select("I"), selectI);
      EXPECT_EQ(writer.log.warningsContaining("refused"),
          std::vector<std::string>{"Table " + writerPath + " refused: " + c.reason +
                                   "; the firmware keeps its buffers and selects"});
    }
  }

} // namespace
