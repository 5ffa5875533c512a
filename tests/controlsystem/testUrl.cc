// Request targets: percent-decoding of the path, the query split off undecoded, and the values
// of query parameters.
#include <Corvane/Cs/RequestError.h>
#include <Corvane/Cs/Url.h>

#include <gtest/gtest.h>

using Corvane::Cs::RequestError;
using Corvane::Cs::Url;

TEST(Url, PercentDecodingReplacesEscapesByTheirBytes) {
  struct Case {
    std::string text, decoded;
  };
  for(const auto& c : std::vector<Case>{{"", ""}, {"/api/variables/S/gain", "/api/variables/S/gain"},
          {"/S/%67ain", "/S/gain"}, {"a%2Fb", "a/b"}, {"%2f%2F", "//"}, {"%25", "%"}, {"%2541", "%41"},
          {"a+b%20c", "a+b c"}, {"caf%C3%A9", "caf\xc3\xa9"}, {"%00", std::string(1, '\0')}, {"%FF", "\xff"}}) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Url::percentDecode(c.text), c.decoded);
  }
}

TEST(Url, MalformedEscapesAreRefusedWithStatus400) {
  for(const auto* text : {"%", "a%", "%4", "%4g", "%g4", "%zz", "/S/ga%zzin", "%%41"}) {
    SCOPED_TRACE(text);
    try {
      (void)Url::percentDecode(text);
      ADD_FAILURE() << "decoded";
    }
    catch(const RequestError& e) {
      EXPECT_EQ(e.status(), 400);
      EXPECT_STREQ(e.what(), "malformed percent escape in the request target");
    }
  }
}

TEST(Url, SplitTargetDecodesThePathOnly) {
  struct Case {
    std::string target, path, query;
  };
  for(const auto& c : std::vector<Case>{{"/api/variables", "/api/variables", ""},
          {"/api/variables/S/%67ain?format=binary", "/api/variables/S/gain", "format=binary"},
          {"/api/ws?maxRate=2%2E5&x=%zz", "/api/ws", "maxRate=2%2E5&x=%zz"}, {"/a?b?c", "/a", "b?c"},
          {"/a?", "/a", ""}, {"?q=1", "", "q=1"}}) {
    SCOPED_TRACE(c.target);
    auto [path, query] = Url::splitTarget(c.target);
    EXPECT_EQ(path, c.path);
    EXPECT_EQ(query, c.query);
  }
  EXPECT_THROW((void)Url::splitTarget("/a%zz?q=1"), RequestError);
}

TEST(Url, QueryParameterIsTheFirstOfItsNameDecoded) {
  struct Case {
    std::string query, name, value;
  };
  for(const auto& c : std::vector<Case>{{"format=binary", "format", "binary"},
          {"maxRate=10&format=binary", "format", "binary"}, {"format=json&format=binary", "format", "json"},
          {"format", "format", ""}, {"format=", "format", ""}, {"formats=binary", "format", ""},
          {"xformat=binary", "format", ""}, {"", "format", ""}, {"a=1&&b=2", "b", "2"}, {"a=1&", "b", ""},
          {"p=%2Fpath%20x", "p", "/path x"}, {"p=a=b", "p", "a=b"}, {"=v", "", "v"}}) {
    SCOPED_TRACE(c.query + " / " + c.name);
    EXPECT_EQ(Url::queryParameter(c.query, c.name), c.value);
  }
  EXPECT_THROW((void)Url::queryParameter("a=%4", "a"), RequestError);
  // a malformed escape in another parameter is not looked at
  EXPECT_EQ(Url::queryParameter("b=%4&a=1", "a"), "1");
}
