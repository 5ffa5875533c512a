// The server program's command line and the token rules.
#include "TestApplication.h"

#include <Corvane/Cs/CommandLine.h>
#include <Corvane/Exception.h>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace Corvane::Cs;

TEST(CommandLine, ParsesTheOptions) {
  auto defaults = CommandLine::parse({});
  EXPECT_EQ(defaults.address, "127.0.0.1");
  EXPECT_EQ(defaults.port, 8680);
  EXPECT_FALSE(defaults.readOnly);

  auto options = CommandLine::parse({"--listen", "0.0.0.0:9000", "--token-file=t.txt", "--read-only"});
  EXPECT_EQ(options.address, "0.0.0.0");
  EXPECT_EQ(options.port, 9000);
  EXPECT_EQ(options.tokenFile, "t.txt");
  EXPECT_TRUE(options.readOnly);
  auto v6 = CommandLine::parse({"--listen=[::1]:0"});
  EXPECT_EQ(v6.address, "::1");
  EXPECT_EQ(v6.port, 0);
  EXPECT_TRUE(CommandLine::parse({"--help"}).help);
  EXPECT_EQ(defaults.unsubscribedTimeout, std::chrono::seconds(30));
  EXPECT_EQ(CommandLine::parse({"--unsubscribed-timeout", "0.25"}).unsubscribedTimeout, std::chrono::milliseconds(250));
  EXPECT_EQ(CommandLine::parse({"--unsubscribed-timeout=120"}).unsubscribedTimeout, std::chrono::minutes(2));
  EXPECT_EQ(defaults.workers, 0U);
  EXPECT_EQ(CommandLine::parse({"--workers", "3"}).workers, 3U);
  EXPECT_EQ(CommandLine::parse({"--workers=1"}).workers, 1U);
}

TEST(CommandLine, RefusesWrongArguments) {
  struct Case {
    std::vector<std::string> arguments;
    std::string message;
  };
  for(const auto& c : std::vector<Case>{{{"--listen"}, "--listen needs a value"}, {{"--listen", "8080"}, "ADDR:PORT"},
          {{"--listen", "127.0.0.1:70000"}, "not a port number"}, {{"--listen", "host.name:80"}, "not an IP address"},
          {{"--frobnicate"}, "unknown argument \"--frobnicate\""}, {{"extra"}, "unknown argument"},
          {{"--unsubscribed-timeout", "0"}, "not a number of seconds"},
          {{"--unsubscribed-timeout", "soon"}, "not a number of seconds"},
          {{"--unsubscribed-timeout=1e9"}, "not a number of seconds"},
          {{"--workers", "0"}, "not a number of threads"}, {{"--workers=many"}, "not a number of threads"},
          {{"--workers"}, "--workers needs a value"}}) {
    try {
      CommandLine::parse(c.arguments);
      ADD_FAILURE() << c.message;
    }
    catch(Corvane::logic_error& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
}

TEST(CommandLine, TokenComesFromFileOrEnvironmentAndIsRequiredBeyondLoopback) {
  CsTest::TemporaryDirectory directory;
  ::unsetenv("CORVANE_CS_TOKEN");
  CommandLineOptions options;
  EXPECT_EQ(CommandLine::resolveToken(options), "");
  options.address = "0.0.0.0";
  EXPECT_THROW(CommandLine::resolveToken(options), Corvane::logic_error);
  options.tokenFile = directory.write("token", "  abc123 \n");
  EXPECT_EQ(CommandLine::resolveToken(options), "abc123");
  options.tokenFile = directory.write("empty", "\n");
  EXPECT_THROW(CommandLine::resolveToken(options), Corvane::logic_error);
  options.tokenFile.clear();
  ::setenv("CORVANE_CS_TOKEN", "fromenv", 1);
  EXPECT_EQ(CommandLine::resolveToken(options), "fromenv");
  ::unsetenv("CORVANE_CS_TOKEN");
  EXPECT_TRUE(CommandLine::isLoopback("127.3.4.5"));
  EXPECT_TRUE(CommandLine::isLoopback("::1"));
  EXPECT_FALSE(CommandLine::isLoopback("192.168.1.1"));
}
