// The HTTP API apart from sockets: listing, reading, and the checks every write goes through.
#include "TestApplication.h"

#include <Corvane/Cs/ApiHandler.h>
#include <Corvane/Cs/Json.h>
#include <Corvane/Cs/RequestError.h>

#include <gtest/gtest.h>

#include <cstring>

using namespace Corvane;
using namespace Corvane::Cs;
using CsTest::App;

namespace {

  struct ApiFixture : ::testing::Test {
    App app;
    TestFacility test{app};
    ServerOptions options;
    WriteCounters counters;
    std::unique_ptr<ApiHandler> api;

    void SetUp() override {
      options.applicationName = "stationName";
      test.runApplication();
      api = std::make_unique<ApiHandler>(app.getControlSystem(), options, counters);
    }

    HttpResponse request(const std::string& method, const std::string& target, const std::string& body = {},
        const std::string& contentType = "application/json", const std::string& authorization = {}) {
      HttpRequest r;
      r.method = method;
      r.target = target;
      r.body = body;
      r.contentType = contentType;
      r.authorization = authorization;
      return api->handle(r);
    }

    HttpResponse put(const std::string& path, const std::string& body) {
      return request("PUT", "/api/variables" + path, body);
    }
  };

} // namespace

TEST_F(ApiFixture, ListsEveryVariableWithItsMetadata) {
  auto response = request("GET", "/api/variables");
  ASSERT_EQ(response.status, 200);
  auto document = Json::parse(response.body);
  auto list = document.find("variables")->items();
  EXPECT_EQ(list.size(), app.getControlSystem().variables().size());
  auto byPath = [&](const std::string& path) {
    auto found = std::find_if(list.begin(), list.end(), [&](auto& v) { return v.find("path")->text() == path; });
    EXPECT_NE(found, list.end()) << path;
    return found;
  };
  auto gain = byPath("/S/gain");
  ASSERT_NE(gain, list.end());
  EXPECT_EQ(gain->dump(), R"({"path":"/S/gain","type":"double","nElements":1,"unit":"dB","description":"gain",)"
                          R"("tags":[],"writable":true,"status":false})");
  EXPECT_FALSE(byPath("/R/doubled")->find("writable")->asBoolean());
  // a status says so, and the list names the status values and the application
  EXPECT_TRUE(byPath("/R/gainStatus")->find("status")->asBoolean());
  EXPECT_EQ(document.find("statusNames")->dump(), R"(["OK","FAULT","OFF","WARNING"])");
  EXPECT_EQ(document.find("application")->text(), "stationName");
}

TEST_F(ApiFixture, ReadsValuesAsJsonOrBinary) {
  test.writeArray<float>("/S/table", {1.f, 2.f, 3.f, 4.f});
  test.stepApplication();
  auto json = Json::parse(request("GET", "/api/variables/S/table").body);
  EXPECT_EQ(json.find("value")->dump(), "[1,2,3,4]");
  EXPECT_TRUE(json.find("valid")->asBoolean());
  EXPECT_EQ(json.find("version")->asUint64(), test.getVersion("/S/table").value());

  for(auto target : {"/api/variables/S/table?format=binary", "/api/variables/S/table"}) {
    HttpRequest r;
    r.method = "GET";
    r.target = target;
    if(std::string(target).find('?') == std::string::npos) r.accept = "application/octet-stream";
    auto binary = api->handle(r);
    EXPECT_EQ(binary.contentType, "application/octet-stream");
    ASSERT_EQ(binary.body.size(), 16u);
    float values[4];
    std::memcpy(values, binary.body.data(), 16);
    EXPECT_EQ(values[3], 4.f);
  }
  EXPECT_EQ(request("GET", "/api/variables/S/text?format=binary").status, 400);
  // percent-escapes in the path are decoded
  EXPECT_EQ(request("GET", "/api/variables/S/%67ain").status, 200);
}

TEST_F(ApiFixture, AcceptedWritesReachTheApplication) {
  EXPECT_EQ(put("/S/gain", "2.5").status, 200);
  EXPECT_EQ(put("/S/table", R"({"value":[1,1,1,1]})").status, 200);
  float half = 0.5f;
  std::string bytes(reinterpret_cast<char*>(&half), 4);
  EXPECT_EQ(request("PUT", "/api/variables/S/level", bytes, "application/octet-stream").status, 200);
  test.stepApplication();
  EXPECT_EQ(test.readScalar<double>("/R/doubled"), 5.0);
  EXPECT_EQ(test.readArray<float>("/S/table"), (std::vector<float>{1, 1, 1, 1}));
  EXPECT_EQ(test.readScalar<float>("/S/level"), 0.5f);
  EXPECT_EQ(counters.accepted, 3u);
}

TEST_F(ApiFixture, RefusalsSayWhatWasWrongAndChangeNothing) {
  struct Case {
    std::string method, target, body;
    int status;
    std::string message;
  };
  ASSERT_EQ(put("/S/gain", "4").status, 200);
  test.stepApplication();
  auto versionBefore = test.getVersion("/S/gain");
  for(const auto& c : std::vector<Case>{
          {"PUT", "/api/variables/S/gain", "\"x\"", 400, "/S/gain: a number is expected for type double"},
          {"PUT", "/api/variables/S/gain", "", 400, "not valid JSON"},
          {"PUT", "/api/variables/S/gain", "{\"val\":1}", 400, "{\"value\": ...}"},
          {"PUT", "/api/variables/S/mode", "7.25", 400, "not an integer"},
          {"PUT", "/api/variables/S/small", "300", 400, "outside the range of type uint8"},
          {"PUT", "/api/variables/S/table", "[1,2]", 400, "/S/table has 4 elements, 2 were given"},
          {"PUT", "/api/variables/R/doubled", "1", 403, "/R/doubled is not writable"},
          {"PUT", "/api/variables/S/nothing", "1", 404, "no process variable at path /S/nothing"},
          {"GET", "/api/variables/S/nothing", "", 404, "no process variable"},
          {"DELETE", "/api/variables/S/gain", "", 405, "GET and written with PUT"},
          {"PUT", "/api/variables", "1", 405, "can only be read"},
          {"GET", "/api/elsewhere", "", 404, "no such API resource"},
          {"GET", "/api/variables/S/ga%zzin", "", 400, "malformed percent escape"}}) {
    SCOPED_TRACE(c.method + " " + c.target + " " + c.body);
    auto response = request(c.method, c.target, c.body);
    EXPECT_EQ(response.status, c.status);
    auto document = Json::parse(response.body);
    auto error = document.find("error");
    ASSERT_NE(error, nullptr);
    EXPECT_NE(error->text().find(c.message), std::string::npos) << error->text();
  }
  test.stepApplication();
  EXPECT_EQ(test.getVersion("/S/gain"), versionBefore);
  EXPECT_EQ(test.readScalar<double>("/S/gain"), 4.0);
  EXPECT_EQ(test.readScalar<double>("/R/doubled"), 8.0);
}

TEST_F(ApiFixture, ReadOnlyServerAndTokenGuardWrites) {
  options.readOnly = true;
  auto refused = put("/S/gain", "1");
  EXPECT_EQ(refused.status, 403);
  EXPECT_NE(refused.body.find("read-only"), std::string::npos);

  options.readOnly = false;
  options.token = "t0ken";
  struct Case {
    std::string authorization;
    int status;
  };
  // the scheme's name is case-insensitive; spaces may separate it from the token
  for(const auto& c : std::vector<Case>{{"", 403}, {"Bearer", 403}, {"Bearer ", 403}, {"Bearer t0ke", 403},
          {"Bearer t0kenX", 403}, {"Basic t0ken", 403}, {"Bearert0ken", 403}, {"Bearer T0KEN", 403},
          {"Bearer t0ken", 200}, {"bearer t0ken", 200}, {"BEARER t0ken", 200}, {"bEaReR  t0ken", 200}}) {
    SCOPED_TRACE(c.authorization);
    EXPECT_EQ(request("PUT", "/api/variables/S/gain", "1", "application/json", c.authorization).status, c.status);
  }
  EXPECT_NE(request("GET", "/api/info").body.find("\"tokenRequired\":true"), std::string::npos);
}

TEST_F(ApiFixture, TextThatIsNotUtf8IsRefusedAndNeverSentBack) {
  ASSERT_EQ(put("/S/text", "\"kept\"").status, 200);
  for(std::string body : {"\"caf\xe9\"", "{\"value\":\"\xff\"}", "\"\xed\xa0\x80\""}) {
    SCOPED_TRACE(testing::PrintToString(body));
    auto response = put("/S/text", body);
    EXPECT_EQ(response.status, 400);
    EXPECT_NE(response.body.find("invalid UTF-8"), std::string::npos) << response.body;
    EXPECT_TRUE(Json::isValidUtf8(response.body));
  }
  test.stepApplication();
  EXPECT_EQ(test.readScalar<std::string>("/S/text"), "kept");
  // a path with bytes that are not UTF-8 is named in valid UTF-8
  auto unknown = request("GET", "/api/variables/S/%ff%c3");
  EXPECT_EQ(unknown.status, 404);
  EXPECT_TRUE(Json::isValidUtf8(unknown.body));
  EXPECT_NE(Json::parse(unknown.body).find("error")->text().find("/S/\xef\xbf\xbd\xef\xbf\xbd"), std::string::npos);
}

TEST_F(ApiFixture, ErrorAnswersQuoteTheRequestShortened) {
  // a megabyte of input is not sent back: the answer names its beginning and its size
  std::string longPath = "/S/" + std::string(1 << 20, 'x');
  std::string hugeNumber(1 << 20, '7');
  struct Case {
    std::string method, target, body;
    int status;
  };
  for(const auto& c : std::vector<Case>{{"GET", "/api/variables" + longPath, "", 404},
          {"PUT", "/api/variables" + longPath, "1", 404}, {"PUT", "/api/variables/S/wide", hugeNumber, 400},
          {"PUT", "/api/variables/S/gain", "[" + hugeNumber + "]", 400}, {"GET", "/api/" + longPath, "", 404}}) {
    SCOPED_TRACE(c.method + " " + c.target.substr(0, 40));
    auto response = request(c.method, c.target, c.body);
    EXPECT_EQ(response.status, c.status);
    EXPECT_LT(response.body.size(), 400u);
    EXPECT_NE(response.body.find("(1048"), std::string::npos) << response.body;
  }
  // whatever a message holds, an answer stays bounded
  auto capped = HttpResponse::error(400, std::string(100000, 'm'));
  EXPECT_LT(capped.body.size(), RequestError::maxMessageBytes + 100);
}
