// A configuration that the application cannot start with at all: the process ends before any module thread
// runs, with lines of text for the operator on standard output or standard error and a given exit status.
//
// Module code throws it while the application is built (constructors) or prepared (prepare()). It is handled
// in one way, endProcess(), at the two places where start-up can be refused: the framework's start-up
// (Application::run, around the modules' prepare()) and a program's construction of its application object.
// Nothing else should catch it: an ordinary configuration error is Corvane::logic_error, reported by the
// program; a refusal prints exactly its own text.
#pragma once

#include <exception>
#include <string>
#include <vector>

namespace Corvane {

  class StartUpRefusal : public std::exception {
   public:
    enum class Stream { standardOutput, standardError };

    /// The process will write each of `lines` followed by an end of line to `stream` and exit with `exitStatus`.
    StartUpRefusal(std::vector<std::string> lines, Stream stream, int exitStatus);

    /// The lines joined by line ends.
    const char* what() const noexcept override { return _text.c_str(); }

    const std::vector<std::string>& lines() const { return _lines; }
    Stream stream() const { return _stream; }
    int exitStatus() const { return _exitStatus; }

    /// Writes the lines to their stream, flushing after each, and ends the process with the exit status
    /// (std::exit: static objects, the application among them, are destroyed and the log is written out).
    [[noreturn]] void endProcess() const;

   private:
    std::vector<std::string> _lines;
    Stream _stream;
    int _exitStatus;
    std::string _text;
  };

} // namespace Corvane
