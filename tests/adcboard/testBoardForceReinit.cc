// Forced board re-initialisation: a request clears the boot status, puts the device through its
// fault cycle and so makes the device's recovery run the board's initialisation again; the log
// tells it as the operator's action it is, not as an error.
#include "ServicesFixture.h"

#include <Corvane/LogCapture.h>
#include <Corvane/TestFacility.h>
#include <gtest/gtest.h>

#include <chrono>

using namespace Corvane;
using adcboard::ServicesApp;

namespace {

  const std::string request = "/AdcBoard0/BoardInit/forceReinitialisation";
  const std::string bootStatus = "/AdcBoard0/BoardInit/bootStatus";

  bool bootStatusRegister() {
    return adcboard::dummy("Adc0")->getRegister<std::uint32_t>("Adc.BoardInit.bootStatus").at(0) != 0;
  }

} // namespace

TEST(BoardForceReinit, StartWritesBootStatusOnceAndTheInitialValueIsNoRequest) {
  ServicesApp app;
  TestFacility test(app);
  test.setScalarDefault<std::int32_t>(request, 1);
  test.runApplication();
  test.advanceTime(std::chrono::seconds(2));
  EXPECT_EQ(app.initialisations, 1);
  EXPECT_EQ(test.updateCount(bootStatus), 1u);
  EXPECT_TRUE(bootStatusRegister());
  EXPECT_EQ(test.readScalar<std::int32_t>("/Devices/Adc0/status"), 0);
}

TEST(BoardForceReinit, AnyWrittenValueReinitialisesTheBoard) {
  for(std::int32_t value : {0, 1, -7}) {
    SCOPED_TRACE(value);
    ServicesApp app;
    TestFacility test(app);
    test.runApplication();
    test.writeScalar<std::int32_t>(request, value);
    test.stepApplication();
    // false, then true again at once; when the true reaches the board is the recovery's matter
    EXPECT_EQ(test.updateCount(bootStatus), 3u);
    EXPECT_TRUE(test.readScalar<Boolean>(bootStatus));
    EXPECT_EQ(test.readScalar<std::int32_t>("/Devices/Adc0/status"), 1);
    EXPECT_EQ(test.readScalar<std::string>("/Devices/Adc0/status_message"), "Reinitialisation by user request");
    EXPECT_EQ(app.initialisations, 1);
    test.advanceTime(std::chrono::seconds(1));
    EXPECT_EQ(app.initialisations, 2);
    EXPECT_EQ(test.readScalar<std::int32_t>("/Devices/Adc0/status"), 0);
    EXPECT_TRUE(bootStatusRegister());
  }
}

TEST(BoardForceReinit, TwoRequestsInQuickSuccessionAreBothHandled) {
  ServicesApp app;
  TestFacility test(app);
  test.runApplication();
  test.writeScalar<std::int32_t>(request, 1);
  test.writeScalar<std::int32_t>(request, 1);
  test.stepApplication();
  EXPECT_EQ(test.updateCount(bootStatus), 5u);
  EXPECT_TRUE(test.readScalar<Boolean>(bootStatus));
  test.advanceTime(std::chrono::seconds(1));
  EXPECT_EQ(test.readScalar<std::int32_t>("/Devices/Adc0/status"), 0);
  EXPECT_TRUE(bootStatusRegister());
  const int afterFirst = app.initialisations;
  EXPECT_GE(afterFirst, 2);

  // a later request re-initialises again
  test.writeScalar<std::int32_t>(request, 1);
  test.stepApplication();
  test.advanceTime(std::chrono::seconds(1));
  EXPECT_EQ(app.initialisations, afterFirst + 1);
  EXPECT_EQ(test.updateCount(bootStatus), 7u);
}

TEST(BoardForceReinit, ARequestIsLoggedAsInformationNotAsAFault) {
  LogCapture log("Device Adc0");
  ServicesApp app;
  TestFacility test(app);
  test.runApplication();
  log.take();
  test.writeScalar<std::int32_t>(request, 1);
  test.stepApplication();
  test.advanceTime(std::chrono::seconds(1));
  EXPECT_EQ(app.initialisations, 2);
  EXPECT_EQ(test.readScalar<std::int32_t>("/Devices/Adc0/status"), 0);
  auto messages = log.messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].severity, Logger::Severity::info);
  EXPECT_EQ(messages[0].text, "re-initialisation requested: Reinitialisation by user request");
}
