// Must not compile: a constant can only hold a type that process variables carry. The test that
// builds this file expects the compiler to stop with "not a process-variable value type".
#include <Corvane/EntityOwner.h>

#include <complex>
#include <string>

namespace {
  struct Setting {
    int value;
  };
} // namespace

std::string constantOfComplex() { return Corvane::EntityOwner::constant(std::complex<double>(1., 2.)); }
std::string constantOfStruct() { return Corvane::EntityOwner::constant(Setting{3}); }
