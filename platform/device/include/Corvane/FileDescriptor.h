// Owner of a POSIX file descriptor: closes it when destroyed. Move-only.
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

} // namespace Corvane
