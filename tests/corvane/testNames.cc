// Name resolution and the errors for invalid names.
#include <Corvane/Corvane.h>
#include <gtest/gtest.h>

using namespace Corvane;

TEST(Names, ResolvePathTable) {
  struct Case {
    std::string directory, name, expected; // expected empty: invalid
  };
  std::vector<Case> cases{
      {"/", "a", "/a"},
      {"/a", "b/c", "/a/b/c"},
      {"/a/b", "..", "/a"},
      {"/a/b", "../../x", "/x"},
      {"/a", ".", "/a"},
      {"/a", "./b/./c", "/a/b/c"},
      {"/a", "/abs/v", "/abs/v"},
      {"/a", "/", "/"},
      {"/", "..", ""},
      {"/a", "../..", ""},
      {"/a", "b//c", ""},
      {"/a", "b/", ""},
      {"/a", "", ""},
      {"/a", "b c", ""},
      {"/a", "b$", ""},
      {"/a", "b-1_x.y", "/a/b-1_x.y"},
  };
  for(auto& c : cases) {
    std::string error;
    EXPECT_EQ(Utilities::resolvePath(c.directory, c.name, error), c.expected) << c.directory << " + " << c.name;
    EXPECT_EQ(error.empty(), !c.expected.empty()) << c.name;
  }
}

TEST(Names, PathHelpers) {
  EXPECT_EQ(Utilities::getPathName("a/b/c"), "a/b");
  EXPECT_EQ(Utilities::getPathName("/x"), "/");
  EXPECT_EQ(Utilities::getPathName("Samples"), ".");
  EXPECT_EQ(Utilities::getUnqualifiedName("a/b/c"), "c");
  EXPECT_EQ(Utilities::getUnqualifiedName("c"), "c");
  auto escaped = Utilities::escapeName("/app/Group/./x y", false);
  EXPECT_EQ(escaped.find('/'), std::string::npos);
  EXPECT_EQ(escaped.find('.'), std::string::npos);
  EXPECT_EQ(Utilities::unescapeName(escaped), "/app/Group/./x y");
  EXPECT_NE(Utilities::escapeName("a_b"), Utilities::escapeName("a/b"));
  EXPECT_EQ(Utilities::escapeName("a.b/c", true), "a.b/c");
  for(auto bad : {"_zz", "a_1", "_", "_1g"}) EXPECT_THROW(Utilities::unescapeName(bad), Corvane::logic_error) << bad;
}

namespace {
  struct Named : ApplicationModule {
    Named(Module* owner, const std::string& name, const std::string& variable)
    : ApplicationModule(owner, name, "") {
      value = ScalarOutput<int>(this, variable, "", "");
    }
    ScalarOutput<int> value;
    void mainLoop() override {}
  };

  struct App : Application {
    App() : Application("names") {}
  };
} // namespace

TEST(Names, InvalidNamesNameOwnerAndName) {
  struct Case {
    std::string module, variable, fragment;
  };
  std::vector<Case> cases{
      {"../Up", "v", "'../Up'"},
      {"Good", "bad name", "'bad name'"},
      {"Good", "../../v", "climbs above the root"},
      {"a//b", "v", "empty path component"},
  };
  for(auto& c : cases) {
    App app;
    try {
      Named named(&app, c.module, c.variable);
      FAIL() << "no error for " << c.module << " / " << c.variable;
    }
    catch(Corvane::logic_error& e) {
      EXPECT_NE(std::string(e.what()).find(c.fragment), std::string::npos) << e.what();
    }
  }
}

TEST(Names, OwnershipRules) {
  App app;
  Named module(&app, "M", "v");
  // a module inside a module, and a variable group directly in a module group, are rejected
  EXPECT_THROW(Named(&module, "Inner", "v"), Corvane::logic_error);
  EXPECT_THROW(VariableGroup(&app, "G", ""), Corvane::logic_error);
}
