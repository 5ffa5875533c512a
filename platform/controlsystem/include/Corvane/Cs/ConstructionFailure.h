// The end of a program whose one application could not be built: the exception that left the
// application's construction decides what the operator reads and the exit status.
//
// - Corvane::StartUpRefusal: exactly its own lines on its own stream and its own exit status
//   (StartUpRefusal::endProcess).
// - Any other exception: "<program>: the application could not be constructed: <what>" on
//   standard error ("unknown exception" for one that is no std::exception), exit status 1.
//
// Both ways end with std::exit, so static objects are destroyed and the log is written out.
// Used wherever a program builds its application: the station's programs build theirs in an
// initialisation function before main(), and corvane-cs-main's terminate handler catches an
// exception escaping the constructor of a program's static application object.
#pragma once

#include <exception>

namespace Corvane::Cs {

  class ConstructionFailure {
   public:
    /// Reports `failure` as above and ends the process.
    [[noreturn]] static void endProcess(std::exception_ptr failure);
  };

} // namespace Corvane::Cs
