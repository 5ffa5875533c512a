// Runs the station's programs as processes in a directory of their own: a copy of the
// simulated station, changed as a test needs, with the output collected from files.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace station {

  inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  /// A fresh directory below the system's temporary directory, removed again at the end.
  class ScratchDirectory {
   public:
    explicit ScratchDirectory(const std::string& stem) {
      auto pattern = (std::filesystem::temp_directory_path() / (stem + "-XXXXXX")).string();
      if(!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a directory from " + pattern);
      _path = pattern;
    }
    ~ScratchDirectory() {
      std::error_code ignored;
      std::filesystem::remove_all(_path, ignored);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::filesystem::path& path() const { return _path; }

    /// Copies the simulated station's files into the directory.
    void copySimulatedStation() const {
      for(auto& entry : std::filesystem::directory_iterator(TESSAREL_SIM_DIR)) {
        std::filesystem::copy(entry.path(), _path / entry.path().filename(),
            std::filesystem::copy_options::overwrite_existing | std::filesystem::copy_options::recursive);
      }
    }

    /// Replaces `from` by `to` in one of the directory's files; the text must be there.
    void edit(const std::string& file, const std::string& from, const std::string& to) const {
      auto text = readFile(_path / file);
      auto at = text.find(from);
      ASSERT_NE(at, std::string::npos) << from << " not in " << file;
      text.replace(at, from.size(), to);
      std::ofstream(_path / file) << text;
    }

   private:
    std::filesystem::path _path;
  };

  struct ProgramResult {
    int exitStatus{-1};
    std::string out;
    std::string err;
  };

  /// Runs `command` through the shell in `directory` and waits for it to end.
  /// The first line every program linking the station library writes: the simulated board's
  /// backend type registering itself when the library is loaded.
  inline const std::string backendRegistrationLine =
      "VirtualLabBackend::BackendRegisterer: registering backend type SISLDummy\n";

  /// A program's standard output without the simulated station's cavity model's start-up lines
  /// (its loaded Q and half bandwidth, logged at debug level when the simulated board is built).
  inline std::string withoutCavityModelLines(const std::string& out) {
    std::istringstream lines(out);
    std::string kept;
    for(std::string line; std::getline(lines, line);) {
      if(line.find(" DEBUG   [CavityModel] ") == std::string::npos) kept += line + "\n";
    }
    return kept;
  }

  inline ProgramResult runIn(const std::filesystem::path& directory, const std::string& command) {
    auto shell = "cd '" + directory.string() + "' && " + command + " > program.out 2> program.err < /dev/null";
    int status = std::system(shell.c_str());
    ProgramResult result;
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = readFile(directory / "program.out");
    result.err = readFile(directory / "program.err");
    return result;
  }

  /// A program started in the background, its output going to files in its directory.
  class BackgroundProgram {
   public:
    BackgroundProgram(const std::filesystem::path& directory, const std::string& program,
        const std::vector<std::string>& arguments)
    : _directory(directory) {
      // everything the child needs is prepared here: between fork and exec only system calls
      std::vector<char*> argv{const_cast<char*>(program.c_str())};
      for(auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      auto outPath = (directory / "program.out").string();
      auto errPath = (directory / "program.err").string();
      _pid = fork();
      if(_pid == 0) {
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if(out < 0 || err < 0 || chdir(directory.c_str()) != 0) _exit(127);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        execv(program.c_str(), argv.data());
        _exit(127);
      }
    }
    ~BackgroundProgram() {
      if(_pid > 0 && !_ended) {
        kill(_pid, SIGKILL);
        waitpid(_pid, nullptr, 0);
      }
    }
    BackgroundProgram(const BackgroundProgram&) = delete;
    BackgroundProgram& operator=(const BackgroundProgram&) = delete;

    /// Waits, at most `limit`, until the standard output holds `text`.
    bool waitForOutput(const std::string& text, std::chrono::seconds limit) {
      auto end = std::chrono::steady_clock::now() + limit;
      while(std::chrono::steady_clock::now() < end) {
        if(out().find(text) != std::string::npos) return true;
        if(hasEnded()) return out().find(text) != std::string::npos;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      return false;
    }

    /// Sends `signal` and waits, at most `limit`, for the end; the exit status, or -1.
    int stop(int signal, std::chrono::seconds limit) {
      kill(_pid, signal);
      auto end = std::chrono::steady_clock::now() + limit;
      while(std::chrono::steady_clock::now() < end) {
        if(hasEnded()) return WIFEXITED(_status) ? WEXITSTATUS(_status) : -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      return -1;
    }

    std::string out() const { return readFile(_directory / "program.out"); }
    std::string err() const { return readFile(_directory / "program.err"); }

   private:
    bool hasEnded() {
      if(!_ended && waitpid(_pid, &_status, WNOHANG) == _pid) _ended = true;
      return _ended;
    }
    std::filesystem::path _directory;
    pid_t _pid{-1};
    int _status{0};
    bool _ended{false};
  };

} // namespace station
