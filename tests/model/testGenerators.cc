// generateXML() and generateDOT() on applications that were never initialised: the variable
// list parsed back with pugixml, the module graph checked with Graphviz, feeders decided as the
// network decides them, special characters escaped, and nothing connected or opened.
#include <Corvane/Corvane.h>
#include <Corvane/StatusOutput.h>
#include <Corvane/detail/Network.h>
#include <Corvane/detail/NetworkVariable.h>
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include <unistd.h>

using namespace Corvane;
namespace fs = std::filesystem;

namespace {

  /// Runs a test in a fresh directory of its own, removed afterwards.
  class ScopedWorkingDirectory {
   public:
    ScopedWorkingDirectory() : _previous(fs::current_path()) {
      auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
      _directory = fs::temp_directory_path() /
          ("corvane_model_" + std::string(info->name()) + "_" + std::to_string(::getpid()));
      fs::remove_all(_directory);
      fs::create_directories(_directory);
      fs::current_path(_directory);
    }
    ~ScopedWorkingDirectory() {
      fs::current_path(_previous);
      fs::remove_all(_directory);
    }
    ScopedWorkingDirectory(const ScopedWorkingDirectory&) = delete;
    ScopedWorkingDirectory& operator=(const ScopedWorkingDirectory&) = delete;

   private:
    fs::path _previous, _directory;
  };

  std::string writeConfig(const std::string& fileName) {
    std::ofstream file(fileName);
    file << R"(<configuration>
  <module name="Configuration">
    <variable name="gain" type="double" value="2.5"/>
    <variable name="adjustable" type="int32" value="4"/>
    <variable name="unused" type="string" value="x"/>
  </module>
</configuration>
)";
    return fileName;
  }

  /// Stands in for a device module: provides one readable and one writable register, and
  /// would open the device in activate().
  struct FakeDevice : ModuleGroup {
    using ModuleGroup::ModuleGroup;
    bool activated{false};
    std::vector<std::shared_ptr<detail::ExternalEndpoint>> made;

   protected:
    void addExternalEndpoints(std::vector<std::shared_ptr<detail::ExternalEndpoint>>& endpoints) override {
      auto status = std::make_shared<detail::ExternalEndpoint>();
      status->path = "/Board/status";
      status->unit = "counts";
      status->description = "Status register";
      status->feederRank = 1;
      status->what = "register status";
      auto drive = std::make_shared<detail::ExternalEndpoint>();
      drive->path = "/Board/drive";
      drive->type = DataType::float32;
      drive->nElements = 4;
      drive->consumes = true;
      drive->what = "register drive";
      for(auto& e : {status, drive}) {
        made.push_back(e);
        endpoints.push_back(e);
      }
    }
    void activate() override { activated = true; }
  };

  struct Producer : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ArrayOutput<float> out{this, "/Plant/out", "V", 4, "with <&> \"quotes\" 'apos'", {"DAQ", "a<b"}};
    ScalarOutputPushRB<double> setting{this, "/Plant/setting", "A", "Setting with read-back"};
    ArrayOutput<float> drive{this, "/Board/drive", "", 4, "Drive"};
    StatusOutput health{this, "/Plant/health", "Health of the plant"};
    void mainLoop() override {}
  };

  struct Consumer : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ArrayPushInput<float> out{this, "/Plant/out", "", 4, ""};
    ScalarPushInput<std::int32_t> operatorValue{this, "/Plant/operator", "Hz", "Operator setting"};
    ScalarPollInput<std::int32_t> constant{this, EntityOwner::constant(3), "", ""};
    ScalarPollInput<double> gain{this, "/Configuration/gain", "", ""};
    ScalarPushInputWB<std::int32_t> adjustable{this, "/Configuration/adjustable", "", ""};
    ScalarPushInputWB<double> setting{this, "/Plant/setting", "", ""};
    ScalarPollInput<std::int32_t> status{this, "/Board/status", "", ""};
    void mainLoop() override {}
  };

  struct GeneratedApp : Application {
    explicit GeneratedApp(const std::string& name) : Application(name) {}
    ConfigReader config{this, ".", writeConfig("generators_config.xml")};
    FakeDevice device{this, "Board", "Fake board"};
    Producer producer{this, "Producer", ""};
    Consumer consumer{this, "Consumer", ""};
    Producer off{this, "Off", ""}; // disabled: not listed, its outputs do not clash
  };

  std::string read(const std::string& fileName) {
    std::ifstream file(fileName);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
  }

  /// A file name as one shell word.
  std::string quoted(const std::string& fileName) {
    std::string word = "'";
    for(char c : fileName) word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return word + "'";
  }

  /// Every <variable> element of the list, by its path attribute.
  std::map<std::string, pugi::xml_node> variablesByPath(const pugi::xml_document& document) {
    std::map<std::string, pugi::xml_node> result;
    for(auto& found : document.select_nodes("//variable")) result[found.node().attribute("path").value()] = found.node();
    return result;
  }

  /// Edges of a module graph as (from label, to label, variable path), read from its DOT text.
  std::set<std::tuple<std::string, std::string, std::string>> edgesOf(const std::string& dot) {
    std::map<std::string, std::string> labels;
    std::regex node(R"rx("(\w+)" \[label="([^"]*)")rx"), edge(R"rx("(\w+)" -> "(\w+)" \[label="([^"]*)")rx");
    std::set<std::tuple<std::string, std::string, std::string>> result;
    std::istringstream lines(dot);
    for(std::string line; std::getline(lines, line);) {
      std::smatch m;
      if(std::regex_search(line, m, edge)) result.emplace(m[1], m[2], m[3]);
      else if(std::regex_search(line, m, node)) labels[m[1]] = m[2];
    }
    std::set<std::tuple<std::string, std::string, std::string>> labelled;
    for(auto& [from, to, path] : result) labelled.emplace(labels[from], labels[to], path);
    return labelled;
  }

} // namespace

TEST(Generators, VariableListOfAnApplicationNeverInitialised) {
  ScopedWorkingDirectory directory;
  GeneratedApp app("generated");
  app.off.disable();
  app.generateXML();
  EXPECT_EQ(app.getState(), Application::State::constructed);
  EXPECT_FALSE(app.device.activated);
  for(auto& e : app.device.made) EXPECT_EQ(e->variable, nullptr) << e->path;

  pugi::xml_document document;
  auto parsed = document.load_file("generated.xml");
  ASSERT_TRUE(parsed) << parsed.description();
  auto root = document.document_element();
  EXPECT_STREQ(root.name(), "application");
  EXPECT_STREQ(root.attribute("name").value(), "generated");
  // nesting follows the path
  auto out = root.find_child_by_attribute("directory", "name", "Plant").find_child_by_attribute("variable", "name", "out");
  ASSERT_TRUE(out);
  EXPECT_STREQ(out.child_value("description"), "with <&> \"quotes\" 'apos'");
  std::set<std::string> tags;
  for(auto tag : out.children("tag")) tags.insert(tag.child_value());
  EXPECT_EQ(tags, (std::set<std::string>{"DAQ", "a<b"}));

  struct Case {
    std::string path, type, length, unit, direction, writable, feeder;
    std::string status{}; // the attribute, empty where it is absent
  };
  std::vector<Case> cases{
      {"/Plant/out", "float", "4", "V", "application_to_control_system", "false", "output"},
      {"/Plant/operator", "int32", "1", "Hz", "control_system_to_application", "true", "control_system"},
      {"/Plant/setting", "double", "1", "A", "bidirectional", "true", "output"},
      {"/Configuration/gain", "double", "1", "", "application_to_control_system", "false", "configuration"},
      {"/Configuration/adjustable", "int32", "1", "", "bidirectional", "true", "configuration"},
      {"/Configuration/unused", "string", "1", "", "application_to_control_system", "false", "configuration"},
      {"/Corvane/Constants/int32/3", "int32", "1", "", "application_to_control_system", "false", "constant"},
      {"/Board/status", "int32", "1", "counts", "application_to_control_system", "false", "device"},
      {"/Board/drive", "float", "4", "", "application_to_control_system", "false", "output"},
      {"/Plant/health", "int32", "1", "", "application_to_control_system", "false", "output", "true"},
  };
  auto variables = variablesByPath(document);
  EXPECT_EQ(variables.size(), cases.size());
  for(auto& c : cases) {
    auto it = variables.find(c.path);
    ASSERT_NE(it, variables.end()) << c.path;
    auto v = it->second;
    EXPECT_EQ(v.attribute("type").value(), c.type) << c.path;
    EXPECT_EQ(v.attribute("length").value(), c.length) << c.path;
    EXPECT_EQ(v.attribute("unit").value(), c.unit) << c.path;
    EXPECT_EQ(v.attribute("direction").value(), c.direction) << c.path;
    EXPECT_EQ(v.attribute("writable").value(), c.writable) << c.path;
    EXPECT_EQ(v.attribute("feeder").value(), c.feeder) << c.path;
    EXPECT_EQ(v.attribute("status").value(), c.status) << c.path; // only status variables carry it
    EXPECT_EQ(v.attribute("name").value(), Utilities::getUnqualifiedName(c.path)) << c.path;
  }
  EXPECT_STREQ(variables["/Configuration/gain"].child_value("description"), "Configuration value");

  // the network built later from the same tree has exactly these variables
  app.initialise();
  std::set<std::string> listed, connected;
  for(auto& [path, node] : variables) listed.insert(path);
  for(auto& [path, variable] : app.network().variables()) connected.insert(path);
  EXPECT_EQ(listed, connected);
}

TEST(Generators, ModuleGraphOfAnApplicationNeverInitialised) {
  ScopedWorkingDirectory directory;
  GeneratedApp app("generated");
  app.off.disable();
  app.generateDOT();
  EXPECT_EQ(app.getState(), Application::State::constructed);
  EXPECT_FALSE(app.device.activated);
  EXPECT_EQ(std::system(("dot -Tsvg " + quoted("generated.dot") + " -o /dev/null").c_str()), 0);

  std::string producer = "/generated/Producer", consumer = "/generated/Consumer", board = "/generated/Board";
  std::set<std::tuple<std::string, std::string, std::string>> expected{
      {producer, consumer, "/Plant/out"},
      {producer, consumer, "/Plant/setting"},
      {producer, board, "/Board/drive"},
      {board, consumer, "/Board/status"},
      {"control system", consumer, "/Plant/operator"},
      {"configuration", consumer, "/Configuration/gain"},
      {"configuration", consumer, "/Configuration/adjustable"},
      {"configuration", consumer, "/Corvane/Constants/int32/3"},
  };
  auto dot = read("generated.dot");
  EXPECT_EQ(edgesOf(dot), expected);
  EXPECT_EQ(dot.find("/generated/Off"), std::string::npos);
}

TEST(Generators, SpecialCharactersAreEscaped) {
  ScopedWorkingDirectory directory;
  // quotes, markup, a backslash, a tab, a control character and a broken UTF-8 sequence
  std::string name = "odd \"<&>\" \\ 'name' \xc3\xa9";
  struct Odd : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarOutput<int> value{this, "/v", "\"u\"\t<&>", "line\nbreak \x01 \xff end", {"t&g", "\\"}};
    void mainLoop() override {}
  };
  struct Reader : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPushInput<int> value{this, "/v", "", ""};
    void mainLoop() override {}
  };
  struct OddApp : Application {
    explicit OddApp(const std::string& n) : Application(n) {}
    Odd odd{this, "Odd", ""};
    Reader reader{this, "Reader", ""};
  } app(name);
  app.generateXML();
  app.generateDOT();

  pugi::xml_document document;
  auto parsed = document.load_file((name + ".xml").c_str());
  ASSERT_TRUE(parsed) << parsed.description();
  EXPECT_EQ(document.document_element().attribute("name").value(), name);
  auto v = document.document_element().child("variable");
  EXPECT_STREQ(v.attribute("unit").value(), "\"u\"\t<&>");
  EXPECT_STREQ(v.child_value("description"), "line\nbreak ? ? end");
  std::set<std::string> tags;
  for(auto tag : v.children("tag")) tags.insert(tag.child_value());
  EXPECT_EQ(tags, (std::set<std::string>{"t&g", "\\"}));
  EXPECT_EQ(std::system(("xmllint --noout " + quoted(name + ".xml")).c_str()), 0);

  // Graphviz renders the labels exactly: the graph's label and the module labels in the SVG
  ASSERT_EQ(std::system(("dot -Tsvg " + quoted(name + ".dot") + " -o graph.svg").c_str()), 0);
  pugi::xml_document svg;
  ASSERT_TRUE(svg.load_file("graph.svg"));
  std::set<std::string> texts;
  for(auto& found : svg.select_nodes("//text"))
    texts.insert(found.node().child_value());
  EXPECT_TRUE(texts.count(name)) << "graph label";
  EXPECT_TRUE(texts.count("/" + name + "/Odd"));
  EXPECT_TRUE(texts.count("/" + name + "/Reader"));
}

TEST(Generators, WiringTheNetworkRefusesIsReportedAndNothingIsWritten) {
  ScopedWorkingDirectory directory;
  struct Writer : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarOutput<int> value{this, "/clash", "", ""};
    void mainLoop() override {}
  };
  struct ClashApp : Application {
    ClashApp() : Application("clash") {}
    Writer a{this, "A", ""}, b{this, "B", ""};
  } app;
  for(auto generate : {&Application::generateXML, &Application::generateDOT}) {
    try {
      (app.*generate)();
      FAIL() << "no error";
    }
    catch(logic_error& e) {
      std::string message = e.what();
      EXPECT_NE(message.find("/clash: more than one feeder"), std::string::npos) << message;
      EXPECT_NE(message.find("/clash/A"), std::string::npos) << message;
      EXPECT_NE(message.find("/clash/B"), std::string::npos) << message;
    }
  }
  EXPECT_FALSE(fs::exists("clash.xml"));
  EXPECT_FALSE(fs::exists("clash.dot"));
}
