// Directories, depth-first order, filters and metadata of the variable model, and its
// agreement with the network that initialise() builds from the same tree.
#include <Corvane/Corvane.h>
#include <Corvane/Model.h>
#include <Corvane/detail/Network.h>
#include <gtest/gtest.h>

using namespace Corvane;

namespace {

  struct Holder : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    std::vector<ScalarAccessor<int>> ints;
    std::vector<ArrayAccessor<float>> arrays;
    std::vector<VariableGroup> groups;
    void mainLoop() override {}
  };

  struct StructureApp : Application {
    StructureApp() : Application("modelstructure") {}
  };

  constexpr VariableDirection out{VariableDirection::feeding, false};
  constexpr VariableDirection outRB{VariableDirection::feeding, true};
  constexpr VariableDirection in{VariableDirection::consuming, false};
  constexpr VariableDirection inWB{VariableDirection::consuming, true};

  std::vector<std::string> paths(const std::vector<Model::ProcessVariableProxy>& variables) {
    std::vector<std::string> result;
    for(auto& v : variables) result.push_back(v.getFullyQualifiedPath());
    return result;
  }

  std::vector<std::string> paths(const std::vector<Model::DirectoryProxy>& directories) {
    std::vector<std::string> result;
    for(auto& d : directories) result.push_back(d.getPath());
    return result;
  }

  /// Variables spread over /a and below, from two modules, with tags on a module and a group.
  struct Tree {
    StructureApp app;
    Holder first{&app, "a", "", {"T"}};
    Holder second{&app, "Second", ""};
    Holder off{&app, "Off", ""};
    Tree() {
      first.ints.emplace_back(&first, "x", out, "", UpdateMode::push, "");
      first.ints.emplace_back(&first, "b/y", out, "", UpdateMode::push, "");
      second.ints.emplace_back(&second, "/a/d/w", out, "", UpdateMode::push, "");
      second.groups.emplace_back(&second, "/a/b/c", "", std::unordered_set<std::string>{"U"});
      second.ints.emplace_back(&second.groups.back(), "z", out, "", UpdateMode::push, "", std::unordered_set<std::string>{"T"});
      second.ints.emplace_back(&second, "/top", out, "", UpdateMode::push, "");
      off.ints.emplace_back(&off, "/a/hidden", out, "", UpdateMode::push, "", std::unordered_set<std::string>{"T"});
      off.disable();
    }
  };

} // namespace

TEST(ModelStructure, DepthFirstSearchOrderAndDirectories) {
  Tree t;
  auto a = Model::rootDirectory(t.app).getDirectory("a");
  EXPECT_EQ(a, Model::directoryOf(t.first));
  Model::DepthFirstSearch search(a);
  EXPECT_EQ(paths(search.directories()), (std::vector<std::string>{"/a", "/a/b", "/a/b/c", "/a/d"}));
  EXPECT_EQ(paths(search.processVariables()), (std::vector<std::string>{"/a/x", "/a/b/y", "/a/b/c/z", "/a/d/w"}));
  EXPECT_EQ(paths(a.getSubdirectories()), (std::vector<std::string>{"/a/b", "/a/d"}));
  EXPECT_EQ(paths(a.getProcessVariables()), (std::vector<std::string>{"/a/x"}));
  EXPECT_EQ(paths(Model::rootDirectory(t.app).getProcessVariables()), (std::vector<std::string>{"/top"}));
  EXPECT_EQ(a.getDirectory("b/c").getParent().getPath(), "/a/b");
  EXPECT_EQ(a.getDirectory("b/c").getName(), "c");
  EXPECT_EQ(a.getDirectory("..").getPath(), "/");
  EXPECT_EQ(Model::rootDirectory(t.app).getParent().getPath(), "/");
  EXPECT_TRUE(a.getDirectory("b").exists());
  EXPECT_FALSE(a.getDirectory("nothing").exists());
  EXPECT_FALSE(a.getProcessVariable("hidden").has_value()); // disabled module
  EXPECT_THROW(a.getDirectory("../.."), logic_error);
}

TEST(ModelStructure, FiltersSeeInheritedAndMergedTags) {
  Tree t;
  struct Case {
    std::string name;
    Model::VariableFilter filter;
    std::vector<std::string> expected;
  };
  std::vector<Case> cases{
      {"T (module tag and own tag)", Model::keepTag("T"), {"/a/x", "/a/b/y", "/a/b/c/z"}},
      {"U (group tag)", Model::keepTag("U"), {"/a/b/c/z"}},
      {"T and not U", Model::keepTag("T") && !Model::keepTag("U"), {"/a/x", "/a/b/y"}},
      {"U or neither", Model::keepTag("U") || !Model::keepTag("T"), {"/top", "/a/b/c/z", "/a/d/w"}},
      {"nothing", Model::keepTag("none"), {}},
  };
  for(auto& c : cases) {
    Model::DepthFirstSearch search(Model::rootDirectory(t.app), c.filter);
    EXPECT_EQ(paths(search.processVariables()), c.expected) << c.name;
  }
}

TEST(ModelStructure, LiveDuringConstructionAndAfterChanges) {
  StructureApp app;
  Holder h(&app, "H", "");
  auto directory = Model::directoryOf(h);
  EXPECT_TRUE(directory.getProcessVariables().empty());
  h.ints.emplace_back(&h, "v", out, "V", UpdateMode::push, "first");
  auto variable = directory.getProcessVariable("v");
  ASSERT_TRUE(variable.has_value());
  EXPECT_EQ(variable->getUnit(), "V");
  h.ints.back().getNode().setMetaData("", "mV", "changed");
  EXPECT_EQ(variable->getUnit(), "mV");
  EXPECT_EQ(variable->getDescription(), "changed");
  Holder dot(&app, ".", "");
  EXPECT_EQ(Model::directoryOf(dot).getPath(), "/");
  Holder placeholder;
  EXPECT_THROW(Model::directoryOf(placeholder), logic_error);
}

TEST(ModelStructure, AgreesWithTheConnectedNetwork) {
  StructureApp app;
  Holder a(&app, "A", "", {"ta"}), b(&app, "B", ""), c(&app, "C", "");
  a.ints.emplace_back(&a, "/v/fed", out, "", UpdateMode::push, "", std::unordered_set<std::string>{"own"});
  b.ints.emplace_back(&b, "/v/fed", in, "V", UpdateMode::push, "reader's", std::unordered_set<std::string>{"reader"});
  b.ints.emplace_back(&b, "/v/setting", in, "", UpdateMode::poll, "poll reader");
  c.ints.emplace_back(&c, "/v/setting", inWB, "A", UpdateMode::push, "write-back reader");
  a.arrays.emplace_back(&a, "/v/array", outRB, "mm", 5, UpdateMode::push, "array");
  c.arrays.emplace_back(&c, "/v/array", inWB, "", 5, UpdateMode::push, "");
  b.ints.emplace_back(&b, EntityOwner::constant(7), in, "", UpdateMode::poll, "");
  auto model = Model::DepthFirstSearch(Model::rootDirectory(app)).processVariables();
  app.initialise();
  auto& network = app.network().variables();
  ASSERT_EQ(model.size(), network.size());
  for(auto& v : model) {
    auto it = network.find(v.getFullyQualifiedPath());
    ASSERT_NE(it, network.end()) << v.getFullyQualifiedPath();
    auto& n = *it->second;
    EXPECT_EQ(v.getValueType(), n.type) << n.path;
    EXPECT_EQ(v.getNumberOfElements(), n.nElements) << n.path;
    EXPECT_EQ(v.getUnit(), n.unit) << n.path;
    EXPECT_EQ(v.getDescription(), n.description) << n.path;
    EXPECT_EQ(v.getTags(), n.tags) << n.path;
    std::size_t accessors = 0;
    for(auto& p : n.participants) accessors += p.accessor ? 1 : 0;
    EXPECT_EQ(v.getNodes().size(), accessors) << n.path;
  }
}
