#include "SignalWatcher.h"

#include <Corvane/Exception.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace Corvane::Cs {

  namespace {
    // the signal handler can only reach process-wide state
    std::atomic<int> signalPipe{-1};

    void onSignal(int signal) {
      int saved = errno;
      int fd = signalPipe.load();
      if(fd >= 0) {
        unsigned char byte = static_cast<unsigned char>(signal);
        [[maybe_unused]] auto written = ::write(fd, &byte, 1);
      }
      errno = saved;
    }
  } // namespace

  SignalWatcher::SignalWatcher(std::function<void(int)> callback) : _callback(std::move(callback)) {
    if(::pipe2(_pipe, O_CLOEXEC) != 0) throw runtime_error(std::string("cannot create a pipe: ") + std::strerror(errno));
    signalPipe = _pipe[1];
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &_previousInt);
    ::sigaction(SIGTERM, &action, &_previousTerm);
    _thread = std::thread([this] {
      while(true) {
        unsigned char byte = 0;
        auto n = ::read(_pipe[0], &byte, 1);
        if(n < 0 && errno == EINTR) continue;
        if(n <= 0 || byte == 0) return;
        _callback(byte);
      }
    });
  }

  SignalWatcher::~SignalWatcher() {
    ::sigaction(SIGINT, &_previousInt, nullptr);
    ::sigaction(SIGTERM, &_previousTerm, nullptr);
    signalPipe = -1;
    unsigned char stop = 0;
    [[maybe_unused]] auto written = ::write(_pipe[1], &stop, 1);
    _thread.join();
    ::close(_pipe[0]);
    ::close(_pipe[1]);
  }

} // namespace Corvane::Cs
