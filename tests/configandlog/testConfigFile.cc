// Tests of Corvane::ConfigFile: every type as scalar and array, the entry list, typed access and
// its mismatches, and every kind of error in a file, each with file, line and key in the message.
#include "TempDirectory.h"

#include <Corvane/ConfigFile.h>
#include <Corvane/Exception.h>
#include <Corvane/TextFile.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include <sys/stat.h>

using Corvane::ConfigFile;
using configandlog::TempDirectory;

namespace {

  class ConfigFileTest : public ::testing::Test {
   protected:
    // Writes a configuration file whose root element holds `body`; the body starts on line 2.
    std::string writeConfig(const std::string& body, const std::string& name = "station_base_config.xml") {
      return directory.write(name, "<configuration>\n" + body + "</configuration>\n");
    }

    // The message of the logic_error that loading the file throws, or a failure.
    std::string loadError(const std::string& fileName) {
      try {
        ConfigFile config(fileName);
      }
      catch(const Corvane::logic_error& e) {
        return e.what();
      }
      ADD_FAILURE() << "no Corvane::logic_error for " << fileName;
      return {};
    }

    TempDirectory directory;
  };

  /********************************************************************************************************************/

  struct ScalarCase {
    std::string type;
    std::string text;
    ConfigFile::Values expected;
  };

  const std::vector<ScalarCase> scalarCases{
      {"int32", "-2147483648", std::vector<std::int32_t>{std::numeric_limits<std::int32_t>::min()}},
      {"int32", "2147483647", std::vector<std::int32_t>{std::numeric_limits<std::int32_t>::max()}},
      {"int32", "+5", std::vector<std::int32_t>{5}},
      {"uint32", "4294967295", std::vector<std::uint32_t>{std::numeric_limits<std::uint32_t>::max()}},
      {"uint32", "0", std::vector<std::uint32_t>{0}},
      {"uint32", "-0", std::vector<std::uint32_t>{0}},
      {"int64", "-9223372036854775808", std::vector<std::int64_t>{std::numeric_limits<std::int64_t>::min()}},
      {"int64", "9223372036854775807", std::vector<std::int64_t>{std::numeric_limits<std::int64_t>::max()}},
      {"uint64", "18446744073709551615", std::vector<std::uint64_t>{std::numeric_limits<std::uint64_t>::max()}},
      {"float", "1.5", std::vector<float>{1.5F}},
      {"float", "-3.25e2", std::vector<float>{-325.F}},
      {"float", "3.4e38", std::vector<float>{3.4e38F}},
      {"double", "0.1", std::vector<double>{0.1}},
      {"double", "1e308", std::vector<double>{1e308}},
      {"double", "-7", std::vector<double>{-7.}},
      {"string", "MV/m", std::vector<std::string>{"MV/m"}},
      {"string", "", std::vector<std::string>{""}},
      {"string", " a &amp; &lt;b&gt; ", std::vector<std::string>{" a & <b> "}},
      {"boolean", "true", std::vector<bool>{true}},
      {"boolean", "false", std::vector<bool>{false}},
      {"boolean", "1", std::vector<bool>{true}},
      {"boolean", "0", std::vector<bool>{false}},
  };

  TEST_F(ConfigFileTest, ScalarOfEveryType) {
    for(const auto& c : scalarCases) {
      SCOPED_TRACE(c.type + " \"" + c.text + "\"");
      auto file = writeConfig(R"(  <module name="Configuration">
    <variable name="value" type=")" + c.type + R"(" value=")" + c.text + R"("/>
  </module>
)");
      ConfigFile config(file);
      ASSERT_EQ(config.entries().size(), 1U);
      const auto& entry = config.entries().front();
      EXPECT_EQ(entry.key, "Configuration/value");
      EXPECT_EQ(entry.typeName, c.type);
      EXPECT_FALSE(entry.isArray);
      EXPECT_EQ(entry.nElements, 1U);
      EXPECT_EQ(entry.line, 3U);
      EXPECT_EQ(entry.values, c.expected);
      std::visit(
          [&](const auto& expected) {
            using T = typename std::decay_t<decltype(expected)>::value_type;
            EXPECT_EQ(config.get<T>("Configuration/value"), T(expected.front()));
            EXPECT_EQ(ConfigFile::typeNameOf<T>(), c.type);
          },
          c.expected);
    }
  }

  /********************************************************************************************************************/

  struct ArrayCase {
    std::string type;
    std::vector<std::pair<std::string, std::string>> elements; // (i, v) in file order
    ConfigFile::Values expected;
  };

  const std::vector<ArrayCase> arrayCases{
      {"int32", {{"0", "-1"}, {"1", "2"}, {"2", "3"}}, std::vector<std::int32_t>{-1, 2, 3}},
      {"uint32", {{"2", "30"}, {"0", "10"}, {"1", "20"}}, std::vector<std::uint32_t>{10, 20, 30}},
      {"int64", {{"1", "-9223372036854775808"}, {"0", "0"}},
          std::vector<std::int64_t>{0, std::numeric_limits<std::int64_t>::min()}},
      {"uint64", {{"0", "18446744073709551615"}}, std::vector<std::uint64_t>{std::numeric_limits<std::uint64_t>::max()}},
      {"float", {{"1", "0.25"}, {"0", "-0.5"}}, std::vector<float>{-0.5F, 0.25F}},
      {"double", {{"0", "1e-3"}, {"1", "2.5"}, {"2", "-4"}}, std::vector<double>{1e-3, 2.5, -4.}},
      {"string", {{"1", "Cryo"}, {"0", "Timing"}, {"2", ""}}, std::vector<std::string>{"Timing", "Cryo", ""}},
      {"boolean", {{"0", "true"}, {"3", "0"}, {"1", "false"}, {"2", "1"}}, std::vector<bool>{true, false, true, false}},
  };

  TEST_F(ConfigFileTest, ArrayOfEveryTypeInAnyIndexOrder) {
    for(const auto& c : arrayCases) {
      SCOPED_TRACE(c.type);
      std::string elements;
      for(const auto& [i, v] : c.elements) elements += R"(      <value i=")" + i + R"(" v=")" + v + "\"/>\n";
      auto file = writeConfig(R"(  <module name="Configuration">
    <variable name="list" type=")" + c.type + R"(">
)" + elements + R"(    </variable>
  </module>
)");
      ConfigFile config(file);
      ASSERT_EQ(config.entries().size(), 1U);
      const auto& entry = config.entries().front();
      EXPECT_EQ(entry.key, "Configuration/list");
      EXPECT_EQ(entry.typeName, c.type);
      EXPECT_TRUE(entry.isArray);
      EXPECT_EQ(entry.nElements, c.elements.size());
      EXPECT_EQ(entry.line, 3U);
      EXPECT_EQ(entry.values, c.expected);
      std::visit(
          [&](const auto& expected) {
            using T = typename std::decay_t<decltype(expected)>::value_type;
            EXPECT_EQ(config.getArray<T>("Configuration/list"), expected);
          },
          c.expected);
    }
  }

  /********************************************************************************************************************/

  TEST_F(ConfigFileTest, EntriesListKeysTypesAndLinesInFileOrder) {
    auto file = writeConfig(R"(  <variable name="atRoot" type="int32" value="7"/>
  <module name="Configuration">
    <variable name="nAdcBoards" type="uint32" value="2"/>
    <module name="AdcBoard0">
      <variable name="nChannels" type="uint32" value="10"/>
    </module>
    <variable name="extraDevices" type="string">
      <value i="0" v="Timing"/>
    </variable>
  </module>
  <module name="Configuration">
    <variable name="phaseStep" type="double" value="0.5"/>
  </module>
)");
    ConfigFile config(file);
    EXPECT_EQ(config.fileName(), file);

    struct Expected {
      std::string key, typeName;
      bool isArray;
      std::size_t nElements, line;
    };
    const std::vector<Expected> expected{
        {"atRoot", "int32", false, 1, 2},
        {"Configuration/nAdcBoards", "uint32", false, 1, 4},
        {"Configuration/AdcBoard0/nChannels", "uint32", false, 1, 6},
        {"Configuration/extraDevices", "string", true, 1, 8},
        {"Configuration/phaseStep", "double", false, 1, 13},
    };
    ASSERT_EQ(config.entries().size(), expected.size());
    for(std::size_t i = 0; i < expected.size(); ++i) {
      const auto& entry = config.entries()[i];
      SCOPED_TRACE(expected[i].key);
      EXPECT_EQ(entry.key, expected[i].key);
      EXPECT_EQ(entry.typeName, expected[i].typeName);
      EXPECT_EQ(entry.isArray, expected[i].isArray);
      EXPECT_EQ(entry.nElements, expected[i].nElements);
      EXPECT_EQ(entry.line, expected[i].line);
      EXPECT_TRUE(config.contains(entry.key));
      EXPECT_EQ(&config.entry(entry.key), &entry);
    }
    EXPECT_FALSE(config.contains("Configuration"));
    EXPECT_FALSE(config.contains("Configuration/AdcBoard0"));
    EXPECT_EQ(config.get<std::uint32_t>("Configuration/AdcBoard0/nChannels"), 10U);
    EXPECT_EQ(config.getArray<std::string>("Configuration/extraDevices"), std::vector<std::string>{"Timing"});
  }

  TEST_F(ConfigFileTest, LineNumbersWithCarriageReturnsAndByteOrderMark) {
    const std::string text = "\xEF\xBB\xBF<?xml version=\"1.0\"?>\r\n<configuration>\r\n"
                             "  <!-- a comment\r\n  over two lines -->\r\n"
                             "  <variable name=\"a\" type=\"int32\" value=\"1\"/>\r\n"
                             "  <variable name=\"b\" type=\"int32\" value=\"x\"/>\r\n</configuration>\r\n";
    auto file = directory.write("crlf.xml", text);
    auto message = loadError(file);
    EXPECT_NE(message.find(file + ":6: key \"b\""), std::string::npos) << message;
  }

  /********************************************************************************************************************/

  struct ErrorCase {
    std::string name;
    std::string body; // the root element's content, starting on line 2
    std::size_t line;
    std::string key; // empty: the error precedes any key
    std::string fragment;
  };

  // Each body in its own lines; line 1 is "<configuration>".
  const std::vector<ErrorCase> errorCases{
      {"unknown type", R"(<module name="C">
  <variable name="x" type="int16" value="1"/>
</module>
)", 3, "C/x", "unknown type \"int16\""},
      {"duplicate key", R"(<module name="C">
  <variable name="x" type="int32" value="1"/>
  <variable name="x" type="uint32" value="1"/>
</module>
)", 4, "C/x", "duplicate key, first defined in line 3"},
      {"duplicate key in a repeated module", R"(<module name="C"><variable name="x" type="int32" value="1"/></module>
<module name="C">
  <variable name="x" type="int32" value="1"/>
</module>
)", 4, "C/x", "duplicate key, first defined in line 2"},
      {"trailing garbage", R"(<variable name="n" type="int32" value="12x"/>
)", 2, "n", "value \"12x\" is not a number for type int32"},
      {"empty number", R"(<variable name="n" type="uint32" value=""/>
)", 2, "n", "value \"\" is empty"},
      {"blank before number", R"(<variable name="n" type="int64" value=" 1"/>
)", 2, "n", "is not a number"},
      {"fraction for integer", R"(<variable name="n" type="int32" value="1.5"/>
)", 2, "n", "is not a number"},
      {"hexadecimal", R"(<variable name="n" type="uint64" value="0x10"/>
)", 2, "n", "is not a number"},
      {"sign alone", R"(<variable name="n" type="int32" value="-"/>
)", 2, "n", "is not a number"},
      {"double sign", R"(<variable name="n" type="int32" value="+-1"/>
)", 2, "n", "is not a number"},
      {"word for unsigned", R"(<variable name="n" type="uint32" value="-abc"/>
)", 2, "n", "is not a number"},
      {"malformed float", R"(<variable name="f" type="float" value="1.2.3"/>
)", 2, "f", "is not a number for type float"},
      {"exponent without digits", R"(<variable name="f" type="double" value="1e"/>
)", 2, "f", "is not a number"},
      {"empty double", R"(<variable name="f" type="double" value=""/>
)", 2, "f", "is empty"},
      {"nan", R"(<variable name="f" type="double" value="nan"/>
)", 2, "f", "is not a finite number"},
      {"infinity", R"(<variable name="f" type="float" value="-inf"/>
)", 2, "f", "is not a finite number"},
      {"int32 above range", R"(<variable name="n" type="int32" value="2147483648"/>
)", 2, "n", "value \"2147483648\" is out of range for type int32"},
      {"int32 below range", R"(<variable name="n" type="int32" value="-2147483649"/>
)", 2, "n", "is out of range"},
      {"uint32 above range", R"(<variable name="n" type="uint32" value="4294967296"/>
)", 2, "n", "is out of range"},
      {"uint32 negative", R"(<variable name="n" type="uint32" value="-1"/>
)", 2, "n", "value \"-1\" is out of range for type uint32"},
      {"int64 above range", R"(<variable name="n" type="int64" value="9223372036854775808"/>
)", 2, "n", "is out of range"},
      {"uint64 above range", R"(<variable name="n" type="uint64" value="18446744073709551616"/>
)", 2, "n", "is out of range"},
      {"float above range", R"(<variable name="f" type="float" value="1e39"/>
)", 2, "f", "is out of range for type float"},
      {"double above range", R"(<variable name="f" type="double" value="-1e309"/>
)", 2, "f", "is out of range for type double"},
      {"boolean word", R"(<variable name="b" type="boolean" value="yes"/>
)", 2, "b", "value \"yes\" is not a boolean"},
      {"boolean capitals", R"(<variable name="b" type="boolean" value="TRUE"/>
)", 2, "b", "is not a boolean"},
      {"boolean two", R"(<variable name="b" type="boolean" value="2"/>
)", 2, "b", "is not a boolean"},
      {"variable without name", R"(<module name="C">
  <variable type="int32" value="1"/>
</module>
)", 3, "", "in module \"C\": <variable> without attribute \"name\""},
      {"variable without type", R"(<module name="C">
  <variable name="x" value="1"/>
</module>
)", 3, "C/x", "without attribute \"type\""},
      {"scalar without value", R"(<module name="C">
  <variable name="x" type="int32"/>
</module>
)", 3, "C/x", "without attribute \"value\" or <value> elements"},
      {"module without name", R"(<module name="C">
  <module>
    <variable name="x" type="int32" value="1"/>
  </module>
</module>
)", 3, "", "in module \"C\": <module> without attribute \"name\""},
      {"array element without index", R"(<variable name="a" type="int32">
  <value i="0" v="1"/>
  <value v="2"/>
</variable>
)", 4, "a", "<value> without attribute \"i\""},
      {"array element without value", R"(<variable name="a" type="int32">
  <value i="0"/>
</variable>
)", 3, "a", "<value> without attribute \"v\""},
      {"array index gap", R"(<variable name="a" type="int32">
  <value i="0" v="1"/>
  <value i="2" v="3"/>
</variable>
)", 2, "a", "index 1 is missing"},
      {"array without index 0", R"(<variable name="a" type="string">
  <value i="1" v="x"/>
</variable>
)", 2, "a", "index 0 is missing"},
      {"array index twice", R"(<variable name="a" type="double">
  <value i="0" v="1"/>
  <value i="1" v="2"/>
  <value i="0" v="3"/>
</variable>
)", 5, "a", "index 0 given twice (first in line 3)"},
      {"negative array index", R"(<variable name="a" type="int32">
  <value i="-1" v="1"/>
</variable>
)", 3, "a", "index i=\"-1\" is not a non-negative integer"},
      {"word as array index", R"(<variable name="a" type="int32">
  <value i="first" v="1"/>
</variable>
)", 3, "a", "is not a non-negative integer"},
      {"empty array index", R"(<variable name="a" type="int32">
  <value i="" v="1"/>
</variable>
)", 3, "a", "is not a non-negative integer"},
      {"malformed array element", R"(<variable name="a" type="uint32">
  <value i="0" v="1"/>
  <value i="1" v="2x"/>
</variable>
)", 4, "a", "element 1: value \"2x\" is not a number for type uint32"},
      {"array element out of range", R"(<variable name="a" type="int32">
  <value i="0" v="99999999999"/>
</variable>
)", 3, "a", "element 0: value \"99999999999\" is out of range"},
      {"value attribute and elements", R"(<variable name="a" type="int32" value="1">
  <value i="0" v="1"/>
</variable>
)", 2, "a", "has both a \"value\" attribute and <value> elements"},
      {"unexpected element in variable", R"(<variable name="a" type="int32">
  <value i="0" v="1"/>
  <item i="1" v="2"/>
</variable>
)", 4, "a", "unexpected element <item>"},
      {"text in variable", R"(<variable name="a" type="int32" value="1">5</variable>
)", 2, "a", "unexpected text \"5\""},
      {"misspelt element", R"(<module name="C">
  <varible name="x" type="int32" value="1"/>
</module>
)", 3, "", "in module \"C\": unexpected element <varible>"},
      {"text in module", R"(<module name="C">

  stray
</module>
)", 4, "", "in module \"C\": unexpected text \"stray\""},
      {"unknown attribute of variable", R"(<variable name="x" type="int32" value="1" unit="V"/>
)", 2, "x", "unknown attribute \"unit\" of <variable>"},
      {"attribute twice", R"(<variable name="x" type="int32" value="1" value="2"/>
)", 2, "x", "attribute \"value\" of <variable> given twice"},
      {"unknown attribute of module", R"(<module name="C" title="t">
</module>
)", 2, "", "unknown attribute \"title\" of <module>"},
      {"unknown attribute of array element", R"(<variable name="a" type="int32">
  <value i="0" v="1" w="2"/>
</variable>
)", 3, "a", "unknown attribute \"w\" of <value>"},
      {"blank in name", R"(<variable name="a b" type="int32" value="1"/>
)", 2, "", "invalid variable name \"a b\""},
      {"slash in name", R"(<module name="A/B">
</module>
)", 2, "", "invalid module name \"A/B\""},
      {"dot-dot name", R"(<module name="C"><variable name=".." type="int32" value="1"/></module>
)", 2, "", "in module \"C\": invalid variable name \"..\""},
      {"empty name", R"(<variable name="" type="int32" value="1"/>
)", 2, "", "invalid variable name \"\""},
      {"key below a variable", R"(<module name="C">
  <variable name="A" type="int32" value="1"/>
  <module name="A">
    <variable name="b" type="int32" value="2"/>
  </module>
</module>
)", 5, "C/A/b", "lies below the variable \"C/A\" (line 3)"},
      {"unclosed element", R"(<module name="C">
  <variable name="x" type="int32" value="1">
</module>
)", 4, "", "malformed XML"},
      {"unquoted attribute", R"(<variable name=x type="int32" value="1"/>
)", 2, "", "malformed XML"},
  };

  TEST_F(ConfigFileTest, ErrorsNameFileLineAndKey) {
    for(const auto& c : errorCases) {
      SCOPED_TRACE(c.name);
      auto file = writeConfig(c.body);
      auto message = loadError(file);
      EXPECT_NE(message.find(file + ":" + std::to_string(c.line) + ": "), std::string::npos) << message;
      if(!c.key.empty()) {
        EXPECT_NE(message.find("key \"" + c.key + "\": "), std::string::npos) << message;
      }
      EXPECT_NE(message.find(c.fragment), std::string::npos) << message;
    }
  }

  TEST_F(ConfigFileTest, FileErrorsNameTheFile) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"", "malformed XML"},                   // empty file: no root element
        {"<a></b>", "malformed XML"},             // mismatched tags
        {"<a/>\n<b/>", "malformed XML: a second root element <b>"},
        {"<a>\n<!-- unterminated", "malformed XML"},
    };
    for(const auto& [content, fragment] : cases) {
      SCOPED_TRACE(content);
      auto file = directory.write("bad.xml", content);
      auto message = loadError(file);
      EXPECT_EQ(message.rfind(file + ":", 0), 0U) << message;
      EXPECT_NE(message.find(fragment), std::string::npos) << message;
    }

    auto missing = (directory.path() / "tessarel_base_config.xml").string();
    auto message = loadError(missing);
    EXPECT_NE(message.find("\"" + missing + "\" does not exist"), std::string::npos) << message;

    message = loadError(directory.path().string());
    EXPECT_NE(message.find("is a directory"), std::string::npos) << message;
  }

  // A path naming a device or a pipe would read without end or block: refused before reading.
  TEST_F(ConfigFileTest, OnlyARegularFileIsRead) {
    auto pipe = directory.path() / "pipe_base_config.xml";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    for(const auto& file : {std::string("/dev/zero"), pipe.string()}) {
      auto message = loadError(file);
      EXPECT_NE(message.find("configuration file \"" + file + "\" is not a regular file"), std::string::npos) << message;
    }
  }

  TEST_F(ConfigFileTest, TextFilesBeyondTheirLimitAreRefusedNamingTheFile) {
    auto file = directory.write("big.map", std::string(3u << 20, '#'));
    EXPECT_EQ(Corvane::TextFile::read(file, "map", 4u << 20).size(), 3u << 20);
    try {
      (void)Corvane::TextFile::read(file, "register map file", 2u << 20);
      ADD_FAILURE() << "read";
    }
    catch(const Corvane::logic_error& e) {
      EXPECT_NE(std::string(e.what()).find("register map file \"" + file + "\" is larger than 2 MiB"), std::string::npos)
          << e.what();
    }
  }

  TEST_F(ConfigFileTest, DescribeLocatesAKey) {
    auto file = writeConfig(R"(<module name="A"><variable name="n" type="uint32" value="3"/></module>
)");
    ConfigFile config(file);
    EXPECT_EQ(config.describe("A/n"), file + ":2: key \"A/n\"");
    EXPECT_EQ(config.describe("A/m"), "key \"A/m\" of \"" + file + "\"");
  }

  /********************************************************************************************************************/

  struct MismatchCase {
    std::string key;
    std::function<void(const ConfigFile&)> request;
    std::string found;     // as the message describes the key
    std::string requested; // as the message describes the request
  };

  TEST_F(ConfigFileTest, TypedAccessRejectsEveryOtherType) {
    auto file = writeConfig(R"(<module name="Configuration">
  <variable name="nAdcBoards" type="uint32" value="2"/>
  <variable name="sinSign" type="int32" value="-1"/>
  <variable name="big" type="int64" value="1"/>
  <variable name="bigger" type="uint64" value="1"/>
  <variable name="scale" type="float" value="1"/>
  <variable name="rfFrequency" type="double" value="1.3e9"/>
  <variable name="unit" type="string" value="MV/m"/>
  <variable name="enable" type="boolean" value="true"/>
  <variable name="devices" type="string"><value i="0" v="Timing"/></variable>
  <variable name="gains" type="double"><value i="0" v="1"/><value i="1" v="2"/></variable>
</module>
)");
    ConfigFile config(file);
    const std::vector<MismatchCase> cases{
        {"Configuration/nAdcBoards", [](const ConfigFile& c) { c.get<std::int32_t>("Configuration/nAdcBoards"); },
            "uint32", "int32"},
        {"Configuration/nAdcBoards", [](const ConfigFile& c) { c.get<std::uint64_t>("Configuration/nAdcBoards"); },
            "uint32", "uint64"},
        {"Configuration/sinSign", [](const ConfigFile& c) { c.get<std::uint32_t>("Configuration/sinSign"); }, "int32",
            "uint32"},
        {"Configuration/sinSign", [](const ConfigFile& c) { c.get<std::int64_t>("Configuration/sinSign"); }, "int32",
            "int64"},
        {"Configuration/big", [](const ConfigFile& c) { c.get<std::int32_t>("Configuration/big"); }, "int64", "int32"},
        {"Configuration/bigger", [](const ConfigFile& c) { c.get<std::int64_t>("Configuration/bigger"); }, "uint64",
            "int64"},
        {"Configuration/scale", [](const ConfigFile& c) { c.get<double>("Configuration/scale"); }, "float", "double"},
        {"Configuration/rfFrequency", [](const ConfigFile& c) { c.get<float>("Configuration/rfFrequency"); }, "double",
            "float"},
        {"Configuration/unit", [](const ConfigFile& c) { c.get<bool>("Configuration/unit"); }, "string", "boolean"},
        {"Configuration/enable", [](const ConfigFile& c) { c.get<std::int32_t>("Configuration/enable"); }, "boolean",
            "int32"},
        {"Configuration/enable", [](const ConfigFile& c) { c.get<std::string>("Configuration/enable"); }, "boolean",
            "string"},
        {"Configuration/unit", [](const ConfigFile& c) { c.getArray<std::string>("Configuration/unit"); }, "string",
            "string array"},
        {"Configuration/devices", [](const ConfigFile& c) { c.get<std::string>("Configuration/devices"); },
            "string array", "string"},
        {"Configuration/gains", [](const ConfigFile& c) { c.getArray<float>("Configuration/gains"); }, "double array",
            "float array"},
        {"Configuration/gains", [](const ConfigFile& c) { c.get<double>("Configuration/gains"); }, "double array",
            "double"},
    };
    for(const auto& c : cases) {
      SCOPED_TRACE(c.key + " as " + c.requested);
      try {
        c.request(config);
        ADD_FAILURE() << "no Corvane::logic_error";
      }
      catch(const Corvane::logic_error& e) {
        std::string message = e.what();
        EXPECT_NE(message.find(file + ":"), std::string::npos) << message;
        EXPECT_NE(message.find("key \"" + c.key + "\" is " + c.found + ", requested " + c.requested + ""),
            std::string::npos)
            << message;
      }
    }

    // The matching requests succeed.
    EXPECT_EQ(config.get<std::uint32_t>("Configuration/nAdcBoards"), 2U);
    EXPECT_EQ(config.get<std::int32_t>("Configuration/sinSign"), -1);
    EXPECT_EQ(config.get<std::string>("Configuration/unit"), "MV/m");
    EXPECT_TRUE(config.get<bool>("Configuration/enable"));
    EXPECT_EQ(config.getArray<double>("Configuration/gains"), (std::vector<double>{1., 2.}));
  }

  TEST_F(ConfigFileTest, MissingKeyNamesKeyFileAndRequestedType) {
    auto file = writeConfig(R"(<variable name="x" type="int32" value="1"/>
)");
    ConfigFile config(file);
    const std::vector<std::pair<std::function<void()>, std::string>> cases{
        {[&] { config.get<std::uint32_t>("Configuration/nAdcBoards"); }, "(requested uint32)"},
        {[&] { config.getArray<std::string>("Configuration/extraDevices"); }, "(requested string array)"},
        {[&] { config.get<bool>("Configuration/MicroDAQ/enableDetails"); }, "(requested boolean)"},
        {[&] { config.entry("Configuration/nAdcBoards"); }, "has no key \"Configuration/nAdcBoards\""},
        {[&] { config.get<std::int32_t>("X"); }, "has no key \"X\""},
    };
    for(const auto& [request, fragment] : cases) {
      SCOPED_TRACE(fragment);
      try {
        request();
        ADD_FAILURE() << "no Corvane::logic_error";
      }
      catch(const Corvane::logic_error& e) {
        std::string message = e.what();
        EXPECT_NE(message.find("configuration file \"" + file + "\" has no key \""), std::string::npos) << message;
        EXPECT_NE(message.find(fragment), std::string::npos) << message;
      }
    }
  }

} // namespace
