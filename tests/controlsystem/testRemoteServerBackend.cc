// The "zorbel" device backend against a real server (in this process, on a free loopback port)
// serving an application under the test facility.
#include "TestApplication.h"

#include <Corvane/Cs/RemoteServerBackend.h>
#include <Corvane/Cs/Server.h>
#include <Corvane/Device.h>

#include <gtest/gtest.h>

using namespace Corvane;
using namespace Corvane::Cs;
using CsTest::App;

namespace {

  struct RemoteFixture : ::testing::Test {
    App app;
    TestFacility test{app};
    std::unique_ptr<Server> server;
    std::string descriptor;

    void start(ServerOptions options = {}) {
      app.initialise();
      options.port = 0;
      server = std::make_unique<Server>(app.getControlSystem(), options);
      test.runApplication();
      server->start();
      descriptor = "(zorbel:127.0.0.1:" + std::to_string(server->port()) + ")";
    }
    void TearDown() override {
      if(server) server->stop();
    }
  };

} // namespace

TEST_F(RemoteFixture, RemoteVariablesAreRegisters) {
  start();
  Device device(descriptor);
  auto& map = device.getRegisterMap();
  EXPECT_EQ(map.getRegister("/S/gain").encoding, RegisterInfo::Encoding::ieee754);
  EXPECT_EQ(map.getRegister("/S/table").nElements, 4u);
  EXPECT_EQ(map.getRegister("/S/small").width, 8u);
  EXPECT_FALSE(map.getRegister("/S/small").isSigned);
  EXPECT_EQ(map.getRegister("/R/doubled").access, RegisterInfo::Access::readOnly);
  EXPECT_FALSE(map.hasRegister("/S/text"));
  EXPECT_FALSE(map.hasRegister("/S/poke"));
}

TEST_F(RemoteFixture, ReadsAndWritesReachTheRemoteApplication) {
  start();
  test.writeArray<float>("/S/table", {1.f, 2.f, 3.f, 4.f});
  test.writeScalar<std::int32_t>("/S/mode", -5);
  test.stepApplication();

  Device device(descriptor);
  device.open();
  EXPECT_EQ(device.read<float>("/S/table"), (std::vector<float>{1.f, 2.f, 3.f, 4.f}));
  EXPECT_EQ(device.readScalar<std::int32_t>("S.mode"), -5);

  device.writeScalar<double>("/S/gain", 2.5);
  test.stepApplication();
  EXPECT_EQ(test.readScalar<double>("/R/doubled"), 5.0);
  EXPECT_EQ(device.readScalar<double>("/R/doubled"), 5.0);

  // a partial write changes only its elements
  device.write<float>("/S/table", {9.f}, 2);
  test.stepApplication();
  EXPECT_EQ(test.readArray<float>("/S/table"), (std::vector<float>{1.f, 2.f, 9.f, 4.f}));

  device.writeScalar<Boolean>("/S/flag", true);
  test.stepApplication();
  EXPECT_TRUE(test.readScalar<Boolean>("/S/flag"));
}

TEST_F(RemoteFixture, RefusedWritesAndUnreachableServersAreReported) {
  ServerOptions options;
  options.token = "secret";
  start(options);
  Device device(descriptor);
  device.open();
  try {
    device.writeScalar<double>("/S/gain", 1.0);
    ADD_FAILURE() << "write without the token accepted";
  }
  catch(logic_error& e) {
    EXPECT_NE(std::string(e.what()).find("token"), std::string::npos) << e.what();
  }
  EXPECT_EQ(test.readScalar<double>("/S/gain"), 0.0);

  // a server that does not answer: the catalogue cannot be fetched, and with a map it cannot open
  auto port = server->port();
  server->stop();
  server.reset();
  auto unreachable = "(zorbel:127.0.0.1:" + std::to_string(port) + "?timeout=500)";
  EXPECT_THROW(BackendFactory::getInstance().createBackend(unreachable), logic_error);
  CsTest::TemporaryDirectory directory;
  auto map = directory.write("remote.map", "S.gain 1 0 4 0 32 IEEE754 1 RW\n");
  Device offline("(zorbel:127.0.0.1:" + std::to_string(port) + "?map=" + map + "&timeout=500)");
  EXPECT_EQ(offline.getRegisterMap().registers().size(), 1u);
  EXPECT_THROW(offline.open(), runtime_error);
}
