// Name helpers used by modules that derive names and paths: escapeName (a qualified name as one
// name component, distinct for distinct names), getPathName and getUnqualifiedName.
#include <Corvane/Utilities.h>
#include <gtest/gtest.h>

#include <map>

using namespace Corvane;

namespace {
  /// Every string up to `maxLength` characters over `alphabet`.
  std::vector<std::string> allStrings(const std::string& alphabet, std::size_t maxLength) {
    std::vector<std::string> result{""};
    std::size_t begin = 0;
    for(std::size_t length = 1; length <= maxLength; ++length) {
      auto end = result.size();
      for(auto i = begin; i < end; ++i)
        for(char c : alphabet) result.push_back(result[i] + c);
      begin = end;
    }
    return result;
  }

  bool onlyCharacters(const std::string& text, const std::string& extra) {
    for(char c : text) {
      bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
      if(!plain && extra.find(c) == std::string::npos) return false;
    }
    return true;
  }
} // namespace

TEST(NameUtilities, EscapeNameIsInjectiveAndGivesOneComponent) {
  // characters that collide under naive schemes: the escape character itself, hex digits,
  // separators and bytes outside ASCII
  auto inputs = allStrings(std::string("aZ0_5f/.- \x01\xff", 12), 3);
  for(bool allowDotsAndSlashes : {false, true}) {
    std::map<std::string, std::string> seen;
    for(auto& input : inputs) {
      auto escaped = Utilities::escapeName(input, allowDotsAndSlashes);
      auto [it, inserted] = seen.emplace(escaped, input);
      EXPECT_TRUE(inserted) << "'" << input << "' and '" << it->second << "' both give '" << escaped << "'";
      EXPECT_EQ(Utilities::unescapeName(escaped), input);
      EXPECT_TRUE(onlyCharacters(escaped, allowDotsAndSlashes ? "./" : "")) << escaped;
      if(!allowDotsAndSlashes && !input.empty()) {
        std::string error;
        EXPECT_EQ(Utilities::resolvePath("/lock", escaped, error), "/lock/" + escaped) << error;
      }
    }
  }
}

TEST(NameUtilities, QualifiedNamesOfDistinctModulesStayDistinct) {
  // a module named "." beside its group, and names that differ only in separators
  std::vector<std::string> names{"/app/Controller", "/app/Controller/.", "/app/Controller/Gain", "/app/Controller_Gain",
      "/app/Controller/Gain/", "/app/Board0/Channel1/Filter", "/app/Board0/Channel1.Filter"};
  std::map<std::string, std::string> seen;
  for(auto& name : names) {
    auto escaped = Utilities::escapeName(name, false);
    EXPECT_EQ(escaped.find('/'), std::string::npos);
    EXPECT_TRUE(seen.emplace(escaped, name).second) << name;
  }
}

TEST(NameUtilities, PathNameAndUnqualifiedName) {
  struct Case {
    std::string path, pathName, unqualified;
  };
  std::vector<Case> cases{
      {"/Controller/Configuration/tableBufferMode/x/inhibit", "/Controller/Configuration/tableBufferMode/x", "inhibit"},
      {"/Configuration/samplingFrequency", "/Configuration", "samplingFrequency"},
      {"/x", "/", "x"},
      {"Samples", ".", "Samples"},
      {"Group/Samples", "Group", "Samples"},
      {"../../Configuration/filterCoefficientsValid", "../../Configuration", "filterCoefficientsValid"},
      {".", ".", "."},
  };
  for(auto& c : cases) {
    EXPECT_EQ(Utilities::getPathName(c.path), c.pathName) << c.path;
    EXPECT_EQ(Utilities::getUnqualifiedName(c.path), c.unqualified) << c.path;
  }
}
