// HDF5's error reporting turned into ours: while an Hdf5ErrorStack lives, the library prints
// nothing on the calling thread (errors become exceptions with a readable cause instead), and
// describe() turns the library's error stack into one line.
#pragma once

#include <hdf5.h>

#include <string>

namespace Corvane {

  class Hdf5ErrorStack {
   public:
    /// Silences the library's automatic error printing for this thread until destruction.
    Hdf5ErrorStack();
    ~Hdf5ErrorStack();
    Hdf5ErrorStack(const Hdf5ErrorStack&) = delete;
    Hdf5ErrorStack& operator=(const Hdf5ErrorStack&) = delete;

    /// "<what>: <the library's outermost and innermost messages>", clearing the stack.
    static std::string describe(const std::string& what);

    /// Throws Corvane::runtime_error with describe(what) when `status` is negative.
    static void check(herr_t status, const std::string& what);

   private:
    H5E_auto2_t _function{nullptr};
    void* _data{nullptr};
  };

} // namespace Corvane
