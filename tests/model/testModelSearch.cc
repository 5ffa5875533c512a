// The variable model searched from inside a module constructor: a lock module finds the tagged
// request variables of client modules below its own directory (absolute and relative client
// names, a module named "."), ignores clients elsewhere, disabled and ownerless ones, and its
// counterparts then share the clients' paths as one process variable each.
#include <Corvane/Corvane.h>
#include <Corvane/Model.h>
#include <Corvane/TestFacility.h>
#include <gtest/gtest.h>

using namespace Corvane;

namespace {

  const std::string lockTag = "_lock_interface";

  /// A client's interface group: placed below the lock's directory, one per client module.
  struct ClientInterface : VariableGroup {
    ClientInterface(Module* owner, const std::string& lockName)
    : VariableGroup(owner, lockName + "/" + Utilities::escapeName(owner->getQualifiedName()), "") {}
    ScalarOutput<Boolean> inhibit{this, "inhibit", "", "Inhibit swapping of control tables", {lockTag}};
    ScalarPushInput<Boolean> acknowledged{this, "acknowledged", "", "Read-back whether inhibit is processed"};
    void prepare() override { inhibit.write(); }
  };

  struct Client : ApplicationModule {
    Client(Module* owner, const std::string& name, const std::string& lockName)
    : ApplicationModule(owner, name, ""), interface(this, lockName) {}
    ClientInterface interface;
    void mainLoop() override {
      interface.inhibit.setAndWrite(true);
      interface.acknowledged.read();
    }
  };

  /// Finds its clients in its constructor and builds one counterpart per client.
  struct Lock : ApplicationModule {
    struct Counterpart : VariableGroup {
      Counterpart(Module* owner, const std::string& path) : VariableGroup(owner, path, "") {}
      ScalarPushInput<Boolean> inhibit{this, "inhibit", "flag", "lock side"};
      ScalarOutput<Boolean> acknowledged{this, "acknowledged", "", ""};
    };

    Lock(Module* owner, const std::string& name) : ApplicationModule(owner, name, "") {
      ownStateVisible = Model::directoryOf(*this).getProcessVariable("state").has_value();
      Model::DepthFirstSearch search(Model::directoryOf(*this), Model::keepTag(lockTag));
      for(auto& variable : search.processVariables())
        found.push_back(Utilities::getPathName(variable.getFullyQualifiedPath()));
      if(found.empty()) throw logic_error("Lock " + name + ": no client interfaces found!");
      for(auto& path : found) counterparts.emplace_back(this, path);
    }

    void prepare() override {
      for(auto& c : counterparts) c.acknowledged.write();
    }
    void mainLoop() override {
      auto group = readAnyGroup();
      while(true) {
        auto id = group.readAny();
        for(auto& c : counterparts)
          if(c.inhibit.getId() == id) c.acknowledged.setAndWrite(c.inhibit.value());
      }
    }

    ScalarOutput<Boolean> state{this, "state", "", "lock state"};
    bool ownStateVisible{false};
    std::vector<std::string> found;
    std::vector<Counterpart> counterparts;
  };

  struct App : Application {
    App() : Application("modelsearch") {}
  };

  /// A controller with clients inside and outside its lock's directory, and a board whose
  /// filter client names the lock relative to itself.
  struct Station {
    App app;
    ModuleGroup controller{&app, "Controller", ""};
    Client gain{&controller, "Gain", "/Controller/Configuration/lock"};
    ModuleGroup generation{&controller, "Generation", ""};
    Client generator{&generation, ".", "/Controller/Configuration/lock"};
    Client outside{&controller, "Outside", "/Elsewhere/lock"};
    Client disabled{&controller, "Disabled", "/Controller/Configuration/lock"};
    Client ownerless{nullptr, "Ownerless", "/Controller/Configuration/lock"};
    ModuleGroup board{&app, "Board", ""};
    ModuleGroup channel{&board, "Channel0", ""};
    Client filter{&channel, "Filter", "../../Configuration/coefficients"};
    std::optional<Lock> controllerLock, boardLock;

    Station() {
      disabled.disable();
      controllerLock.emplace(&controller, "/Controller/Configuration/lock");
      boardLock.emplace(&board, "Configuration/coefficients");
    }

    static std::string groupOf(const Client& client, const std::string& lockPath) {
      return lockPath + "/" + Utilities::escapeName(client.getQualifiedName());
    }
  };

} // namespace

TEST(ModelSearch, ConstructorFindsTaggedClientsBelowItsDirectory) {
  Station s;
  EXPECT_TRUE(s.controllerLock->ownStateVisible);
  std::vector<std::string> expected{Station::groupOf(s.gain, "/Controller/Configuration/lock"),
      Station::groupOf(s.generator, "/Controller/Configuration/lock")};
  EXPECT_EQ(s.controllerLock->found, expected);
  EXPECT_NE(expected[0], expected[1]);
  std::vector<std::string> expectedBoard{Station::groupOf(s.filter, "/Board/Configuration/coefficients")};
  EXPECT_EQ(s.boardLock->found, expectedBoard);
}

TEST(ModelSearch, NoClientFailsConstruction) {
  App app;
  ModuleGroup group(&app, "Group", "");
  try {
    Lock lock(&group, "Configuration/lonely");
    FAIL() << "no error";
  }
  catch(logic_error& e) {
    EXPECT_NE(std::string(e.what()).find("Configuration/lonely: no client interfaces found!"), std::string::npos);
  }
}

TEST(ModelSearch, CounterpartsMergeWithClientsIntoOneVariable) {
  Station s;
  auto path = Station::groupOf(s.gain, "/Controller/Configuration/lock") + "/inhibit";
  auto variable = Model::rootDirectory(s.app).getProcessVariable(path);
  ASSERT_TRUE(variable.has_value());
  ASSERT_EQ(variable->getNodes().size(), 2U);
  auto feeder = variable->getFeedingNode();
  ASSERT_TRUE(feeder.has_value());
  EXPECT_EQ(*feeder, s.gain.interface.inhibit.getNode());
  EXPECT_EQ(variable->getNodes()[1], s.controllerLock->counterparts[0].inhibit.getNode());
  EXPECT_EQ(variable->getValueType(), DataType::boolean);
  EXPECT_EQ(variable->getNumberOfElements(), 1U);
  EXPECT_EQ(variable->getDescription(), "Inhibit swapping of control tables"); // the feeder's
  EXPECT_EQ(variable->getUnit(), "flag"); // the feeder has none: the first non-empty
  EXPECT_TRUE(variable->hasTag(lockTag)); // tags merge, so a later search still finds it once
  Model::DepthFirstSearch again(Model::directoryOf(*s.controllerLock), Model::keepTag(lockTag));
  EXPECT_EQ(again.processVariables().size(), 2U);
}

TEST(ModelSearch, ClientsAndCounterpartsTalkThroughTheMergedPaths) {
  Station s;
  TestFacility test(s.app);
  test.runApplication();
  for(auto* client : {&s.gain, &s.generator, &s.filter}) {
    auto path = client->interface.acknowledged.getName();
    EXPECT_TRUE(test.readScalar<Boolean>(path)) << path;
  }
  // nobody serves the client outside the lock's directory
  EXPECT_FALSE(test.readScalar<Boolean>(s.outside.interface.acknowledged.getName()));
}
