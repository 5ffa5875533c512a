#include "ServerProcess.h"

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace soak {

  namespace {
    std::string readFile(const std::filesystem::path& file) {
      std::ifstream in(file);
      std::ostringstream text;
      text << in.rdbuf();
      return text.str();
    }

    /// The number after `key` in a /proc status text ("VmRSS:   1234 kB"), or 0.
    std::uint64_t statusField(const std::string& status, const std::string& key) {
      auto at = status.find(key + ":");
      if(at == std::string::npos) return 0;
      return std::strtoull(status.c_str() + at + key.size() + 1, nullptr, 10);
    }
  } // namespace

  void replaceSimulatedController(const std::filesystem::path& deviceMap) {
    static const std::regex simulated(R"(\(SISLDummy:([^?)]*)\?map=([^&)]*)[^)]*\))");
    std::istringstream lines(readFile(deviceMap));
    std::string text;
    for(std::string line; std::getline(lines, line);) {
      // the simulated board's virtual-lab module looks for its board under this alias
      if(line.rfind("CtrlBoard", 0) == 0) continue;
      text += std::regex_replace(line, simulated, "(dummy:$1?map=$2)") + "\n";
    }
    std::ofstream(deviceMap) << text;
  }

  ServerProcess::ServerProcess(const std::filesystem::path& program, const std::filesystem::path& stationDirectory) {
    auto pattern = (std::filesystem::temp_directory_path() / "tessarel-soak-XXXXXX").string();
    if(!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a scratch directory from " + pattern);
    _directory = pattern;
    std::filesystem::copy(stationDirectory, _directory, std::filesystem::copy_options::recursive);
    replaceSimulatedController(_directory / "tessarel.dmap");

    // everything the child needs is prepared here: between fork and exec only system calls
    std::string programText = program.string();
    std::vector<std::string> arguments{programText, "--listen", "127.0.0.1:0"};
    std::vector<char*> argv;
    for(auto& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    auto outPath = (_directory / "server.out").string();
    auto errPath = (_directory / "server.err").string();
    _pid = fork();
    if(_pid < 0) throw std::runtime_error("cannot start " + programText);
    if(_pid == 0) {
      int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int in = open("/dev/null", O_RDONLY);
      if(out < 0 || err < 0 || in < 0 || chdir(_directory.c_str()) != 0) _exit(127);
      dup2(in, STDIN_FILENO);
      dup2(out, STDOUT_FILENO);
      dup2(err, STDERR_FILENO);
      // the server sees only its standard descriptors
      for(int fd = 3; fd < 1024; ++fd) close(fd);
      execv(argv[0], argv.data());
      _exit(127);
    }
  }

  ServerProcess::~ServerProcess() {
    if(_pid > 0 && !hasEnded()) {
      kill(_pid, SIGKILL);
      waitpid(_pid, nullptr, 0);
    }
    if(!_keep) {
      std::error_code ignored;
      std::filesystem::remove_all(_directory, ignored);
    }
  }

  bool ServerProcess::hasEnded() {
    if(!_ended && waitpid(_pid, &_status, WNOHANG) == _pid) _ended = true;
    return _ended;
  }

  std::uint16_t ServerProcess::waitUntilListening(std::chrono::seconds limit) {
    static const std::regex listening(R"(listening on http://127\.0\.0\.1:(\d+)/)");
    auto end = std::chrono::steady_clock::now() + limit;
    while(std::chrono::steady_clock::now() < end) {
      auto out = readFile(_directory / "server.out");
      std::smatch found;
      if(std::regex_search(out, found, listening)) return static_cast<std::uint16_t>(std::stoul(found[1]));
      if(hasEnded()) throw std::runtime_error("the server ended at start:\n" + output());
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    throw std::runtime_error("the server did not listen within " + std::to_string(limit.count()) + " s:\n" + output());
  }

  int ServerProcess::stop(std::chrono::seconds limit) {
    if(!hasEnded()) kill(_pid, SIGTERM);
    auto end = std::chrono::steady_clock::now() + limit;
    while(std::chrono::steady_clock::now() < end) {
      if(hasEnded()) return WIFEXITED(_status) ? WEXITSTATUS(_status) : -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
  }

  ProcessFigures ServerProcess::figures() const {
    ProcessFigures figures;
    auto proc = std::filesystem::path("/proc") / std::to_string(_pid);
    auto status = readFile(proc / "status");
    figures.residentKiB = statusField(status, "VmRSS");
    figures.peakResidentKiB = statusField(status, "VmHWM");
    figures.threads = statusField(status, "Threads");
    std::error_code ec;
    for(auto& entry : std::filesystem::directory_iterator(proc / "fd", ec)) {
      ++figures.descriptors;
      std::error_code linkError;
      auto target = std::filesystem::read_symlink(entry.path(), linkError);
      if(!linkError && target.string().rfind("socket:", 0) == 0) ++figures.sockets;
    }
    return figures;
  }

  std::string ServerProcess::output() const {
    return readFile(_directory / "server.out") + readFile(_directory / "server.err");
  }

} // namespace soak
