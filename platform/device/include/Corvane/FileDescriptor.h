// Owner of a POSIX file descriptor: closes it when destroyed. Move-only.
//
// Every descriptor the platform opens is close-on-exec (O_CLOEXEC, SOCK_CLOEXEC, or
// markCloseOnExec() for those a library opens without it), so that no program the server
// starts (a board's init script, or a daemon such a script leaves behind) holds the server's
// listening socket, files or shared memory after the server has ended.
#pragma once

#include <utility>

namespace Corvane {

  class FileDescriptor {
   public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : _fd(fd) {}
    ~FileDescriptor() { reset(); }

    FileDescriptor(FileDescriptor&& other) noexcept : _fd(std::exchange(other._fd, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
      if(this != &other) {
        reset();
        _fd = std::exchange(other._fd, -1);
      }
      return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return _fd; }
    bool isValid() const { return _fd >= 0; }
    explicit operator bool() const { return isValid(); }

    /// Closes the descriptor now (no-op when there is none).
    void reset() noexcept;

   private:
    int _fd{-1};
  };

  /// Sets close-on-exec on a descriptor that a library opened without it (Boost.Asio's sockets,
  /// HDF5's files). A descriptor that is not open is left alone.
  void markCloseOnExec(int fd) noexcept;

} // namespace Corvane
