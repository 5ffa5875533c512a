// The server's and the client's sockets are close-on-exec: a program the server starts (a
// board's init script) never holds the listening port after the server has ended.
#include "../device/ProcessInspection.h"
#include "TestApplication.h"

#include <Corvane/Cs/HttpClient.h>
#include <Corvane/Cs/Server.h>

#include <gtest/gtest.h>

using namespace Corvane;
using namespace Corvane::Cs;

TEST(ServerDescriptors, ListeningAcceptedAndClientSocketsAreNotInherited) {
  auto before = CorvaneTest::openDescriptors();
  CsTest::App app;
  TestFacility test(app);
  app.initialise();
  ServerOptions options;
  options.port = 0;
  Server server(app.getControlSystem(), options);
  test.runApplication();
  server.start();
  HttpClient client("127.0.0.1", server.port(), std::chrono::seconds(10));
  // the answer comes over the accepted connection, which stays open (kept alive)
  EXPECT_EQ(client.request("GET", "/api/variables").status, 200);
  EXPECT_EQ(CorvaneTest::inheritableSince(before), std::vector<int>{});
  client.disconnect();
  server.stop();
}
