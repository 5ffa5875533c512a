// Looks at processes and descriptors of the test program from outside the code under test:
// the living members of a process group, and the descriptors left without close-on-exec.
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

namespace CorvaneTest {

  /// Process ids of the processes in group `group` that have not ended (zombies, ended but not
  /// yet reaped by whoever inherited them, do not count).
  inline std::vector<pid_t> livingMembersOf(pid_t group) {
    std::vector<pid_t> members;
    std::error_code ignored;
    for(auto& entry : std::filesystem::directory_iterator("/proc", ignored)) {
      auto name = entry.path().filename().string();
      if(name.find_first_not_of("0123456789") != std::string::npos) continue;
      std::ifstream in(entry.path() / "stat");
      std::string stat;
      std::getline(in, stat);
      // "pid (command) state ppid pgrp ...": the command may hold spaces and parentheses
      auto afterCommand = stat.rfind(')');
      if(afterCommand == std::string::npos) continue;
      char state = 0;
      long parent = 0, processGroup = 0;
      if(std::sscanf(stat.c_str() + afterCommand + 1, " %c %ld %ld", &state, &parent, &processGroup) != 3) continue;
      if(processGroup == group && state != 'Z' && state != 'X') members.push_back(std::stoi(name));
    }
    return members;
  }

  /// Waits, at most `limit`, until no process of `group` lives any more; true then.
  inline bool groupEnds(pid_t group, std::chrono::milliseconds limit = std::chrono::seconds(2)) {
    auto end = std::chrono::steady_clock::now() + limit;
    while(!livingMembersOf(group).empty()) {
      if(std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }

  /// The descriptors of this process that are open now.
  inline std::set<int> openDescriptors() {
    std::set<int> open;
    for(auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
      open.insert(std::stoi(entry.path().filename().string()));
    }
    // the listing's own descriptor is closed again
    std::erase_if(open, [](int fd) { return ::fcntl(fd, F_GETFD) < 0; });
    return open;
  }

  /// Descriptors opened since `before` (still open) that an exec would pass on.
  inline std::vector<int> inheritableSince(const std::set<int>& before) {
    std::vector<int> inheritable;
    for(int fd : openDescriptors()) {
      if(before.count(fd) != 0) continue;
      int flags = ::fcntl(fd, F_GETFD);
      if(flags >= 0 && (flags & FD_CLOEXEC) == 0) inheritable.push_back(fd);
    }
    return inheritable;
  }

  /// Descriptors of the test program that an exec would pass on (no close-on-exec): a listening
  /// loopback socket and an open file. Both are closed again when the object ends.
  class InheritableDescriptors {
   public:
    explicit InheritableDescriptors(const char* file) {
      _listening = ::socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      _listeningOk = _listening >= 0 &&
          ::bind(_listening, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && ::listen(_listening, 1) == 0;
      _file = ::open(file, O_RDONLY);
    }
    ~InheritableDescriptors() {
      if(_file >= 0) ::close(_file);
      if(_listening >= 0) ::close(_listening);
    }
    InheritableDescriptors(const InheritableDescriptors&) = delete;
    InheritableDescriptors& operator=(const InheritableDescriptors&) = delete;

    /// Both are open and would be inherited.
    bool open() const {
      return _listeningOk && _file >= 0 && (::fcntl(_listening, F_GETFD) & FD_CLOEXEC) == 0 &&
          (::fcntl(_file, F_GETFD) & FD_CLOEXEC) == 0;
    }

   private:
    int _listening{-1};
    bool _listeningOk{false};
    int _file{-1};
  };

} // namespace CorvaneTest
