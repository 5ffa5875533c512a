// Backend creation by alias and descriptor, sharing per descriptor, registration, errors.
#include "Corvane/BackendFactory.h"
#include "Corvane/BackendRegisterer.h"
#include "Corvane/DMapRelativePath.h"
#include "Corvane/DummyBackend.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

using Corvane::BackendFactory;
using Corvane::DummyBackend;

namespace {

  // registered while the test program loads, as a backend library would be
  int creations = 0;
  Corvane::BackendRegisterer loadTimeRegisterer(
      "factoryTestBoard",
      [](const std::string&, const std::map<std::string, std::string>& parameters) -> std::shared_ptr<Corvane::DeviceBackend> {
        ++creations;
        return std::make_shared<DummyBackend>(Corvane::convertPathRelativeToDmapToAbs(parameters.at("map")));
      },
      {"map"});

  class BackendFactoryTest : public ::testing::Test {
   protected:
    CorvaneTest::TempDirectory dir;
    std::string map = dir.write("maps/board.map", "Value 1 0 4 0\n");
    std::string dmap = dir.write("station.dmap",
        "Controller (dummy:ctrl?map=maps/board.map&note=x)\n"
        "CtrlBoard  (dummy:ctrl?note=x&map=maps/board.map)\n"   // the same device
        "Other      (dummy:other?map=maps/board.map)\n"
        "Custom     (factoryTestBoard?map=maps/board.map)\n"
        "NoMap      (dummy:nomap)\n"
        "Unknown    (noSuchType?map=maps/board.map)\n"
        "Missing    (dummy?map=maps/missing.map)\n");
    CorvaneTest::ScopedDMapFilePath scopedDMap{dmap};
    BackendFactory& factory = BackendFactory::getInstance();

    void expectLogicError(const std::string& alias, std::initializer_list<std::string> mentions) {
      SCOPED_TRACE(alias);
      try {
        factory.createBackend(alias);
        ADD_FAILURE() << "created";
      }
      catch(const Corvane::logic_error& e) {
        for(const auto& text : mentions) EXPECT_NE(std::string(e.what()).find(text), std::string::npos) << e.what();
      }
    }
  };

  TEST_F(BackendFactoryTest, OneDescriptorIsOneBackend) {
    auto controller = factory.createBackend("Controller");
    EXPECT_EQ(factory.createBackend("CtrlBoard"), controller);
    EXPECT_EQ(factory.createBackend("(dummy:ctrl?map=" + (dir.path() / "maps/board.map").string() + "&note=x)"),
        controller);
    EXPECT_NE(factory.createBackend("Other"), controller);
    EXPECT_EQ(factory.findBackend("CtrlBoard"), controller);
  }

  TEST_F(BackendFactoryTest, ABackendNobodyHoldsIsCreatedAfresh) {
    auto first = std::dynamic_pointer_cast<DummyBackend>(factory.createBackend("Controller"));
    ASSERT_TRUE(first);
    first->setRegister<int>("Value", {42});
    EXPECT_EQ(std::dynamic_pointer_cast<DummyBackend>(factory.createBackend("CtrlBoard"))->getRegister<int>("Value"),
        std::vector<int>{42});
    first.reset();
    EXPECT_EQ(factory.findBackend("Controller"), nullptr);
    auto second = std::dynamic_pointer_cast<DummyBackend>(factory.createBackend("Controller"));
    EXPECT_EQ(second->getRegister<int>("Value"), std::vector<int>{0});
  }

  TEST_F(BackendFactoryTest, TypesRegisteredAtLoadTimeAreUsed) {
    EXPECT_TRUE(factory.isRegistered("factoryTestBoard"));
    for(const char* builtin : {"dummy", "sharedMemoryDummy", "mmap"}) EXPECT_TRUE(factory.isRegistered(builtin));
    int before = creations;
    auto custom = factory.createBackend("Custom");
    EXPECT_EQ(factory.createBackend("Custom"), custom);
    EXPECT_EQ(creations, before + 1);
  }

  TEST_F(BackendFactoryTest, ConfigurationErrorsNameTheirPlace) {
    expectLogicError("Unknown", {dmap + ":6", "noSuchType", "dummy"});
    expectLogicError("NoMap", {dmap + ":5", "map"});
    expectLogicError("Missing", {dmap + ":7", "missing.map"});
    expectLogicError("Nobody", {"Nobody", dmap});
    expectLogicError("(dummy?map=a", {"(dummy?map=a"});
    {
      CorvaneTest::ScopedDMapFilePath none("");
      expectLogicError("Controller", {"Controller", "no device map"});
    }
  }

  TEST_F(BackendFactoryTest, RegistrationChecksNameAndVersion) {
    auto creator = [](const std::string&, const std::map<std::string, std::string>&) {
      return std::shared_ptr<Corvane::DeviceBackend>();
    };
    EXPECT_THROW(factory.registerBackendType("dummy", creator), Corvane::logic_error);
    EXPECT_THROW(factory.registerBackendType("versionTestBoard", creator, {}, "0.0.1"), Corvane::logic_error);
    EXPECT_FALSE(factory.isRegistered("versionTestBoard"));
    factory.registerBackendType("emptyTestBoard", creator);
    expectLogicError("(emptyTestBoard)", {"emptyTestBoard", "created nothing"});
  }

  TEST_F(BackendFactoryTest, OnceCreationIsClosedOnlyHeldBackendsAreHandedOut) {
    auto controller = factory.createBackend("Controller");
    factory.setCreationAllowed(false);
    EXPECT_EQ(factory.createBackend("CtrlBoard"), controller);
    expectLogicError("Other", {dmap + ":3", "Other"});
    factory.setCreationAllowed(true);
    EXPECT_NE(factory.createBackend("Other"), nullptr);
  }

  TEST_F(BackendFactoryTest, RelativeMapOfADescriptorIsTakenFromTheDMapDirectory) {
    auto backend = factory.createBackend("(dummy:direct?map=maps/board.map)");
    EXPECT_EQ(backend->getRegisterMap().fileName(), (dir.path() / "maps/board.map").string());
  }

} // namespace
