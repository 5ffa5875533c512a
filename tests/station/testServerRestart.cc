// The server killed while its boards' init scripts still run: the scripts hold none of the
// server's descriptors, so its port is free at once for the next start.
#include "ProgramRun.h"

#include <gtest/gtest.h>

#include <regex>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

using station::ScratchDirectory;

namespace {

  /// Whether a new listening socket can take the loopback port (as the restarted server would).
  bool portIsFree(int port) {
    int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int yes = 1;
    ::setsockopt(probe, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool free = ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && ::listen(probe, 1) == 0;
    ::close(probe);
    return free;
  }

  /// Process ids the hanging scripts wrote into the directory.
  std::vector<pid_t> scriptsIn(const std::filesystem::path& directory) {
    std::vector<pid_t> scripts;
    for(auto& entry : std::filesystem::directory_iterator(directory)) {
      if(entry.path().extension() != ".pid") continue;
      pid_t pid = 0;
      if(std::ifstream(entry.path()) >> pid) scripts.push_back(pid);
    }
    return scripts;
  }

  TEST(ServerRestart, PortIsFreeAfterAKillWhileInitScriptsRun) {
    ScratchDirectory dir("tessarel-kill");
    dir.copySimulatedStation();
    dir.edit("initHardware.py", "sys.exit(0)", R"(import os, time
with open(board + ".pid.new", "w") as pid:
    pid.write(str(os.getpid()))
os.rename(board + ".pid.new", board + ".pid")
time.sleep(600)
sys.exit(0))");

    station::BackgroundProgram server(dir.path(), TESSAREL_SERVER, {"--listen", "127.0.0.1:0"});
    ASSERT_TRUE(server.waitForOutput("listening on", std::chrono::seconds(30))) << server.out() << server.err();
    std::smatch listening;
    auto out = server.out();
    ASSERT_TRUE(std::regex_search(out, listening, std::regex(R"(listening on http://127\.0\.0\.1:(\d+)/)"))) << out;
    int port = std::stoi(listening[1]);
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while(scriptsIn(dir.path()).empty() && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    auto scripts = scriptsIn(dir.path());
    ASSERT_FALSE(scripts.empty()) << "no init script started";

    server.stop(SIGKILL, std::chrono::seconds(10));
    EXPECT_TRUE(portIsFree(port)) << "port " << port << " still taken after the server was killed";
    for(auto script : scriptsIn(dir.path())) ::kill(script, SIGKILL);
  }

} // namespace
