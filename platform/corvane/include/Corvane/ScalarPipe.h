// ScalarPipe: forwards one scalar variable to another path unchanged, e.g. to give an operator
// input a second name that carries other tags (such as the status-output tag).
//
// The output takes the input's initial value at start and then every value the input receives,
// with its version and validity.
#pragma once

#include "Corvane/ApplicationModule.h"
#include "Corvane/ScalarAccessor.h"

#include <string>
#include <unordered_set>

namespace Corvane {

  template<class T>
  class ScalarPipe : public ApplicationModule {
   public:
    /// A placeholder that takes part in nothing until a real pipe is moved over it.
    ScalarPipe() = default;

    ScalarPipe(Module* owner, const std::string& name, const std::string& inputName, const std::string& outputName,
        const std::string& unit, const std::string& description, const std::unordered_set<std::string>& inputTags = {},
        const std::unordered_set<std::string>& outputTags = {})
    : ApplicationModule(owner, name, description), input(this, inputName, unit, description, inputTags),
      output(this, outputName, unit, description, outputTags) {}

    ScalarPipe(ScalarPipe&&) noexcept = default;
    ScalarPipe& operator=(ScalarPipe&&) noexcept = default;

    ScalarPushInput<T> input;
    ScalarOutput<T> output;

    void mainLoop() override {
      while(true) {
        output = input.value();
        output.write();
        input.read();
      }
    }
  };

} // namespace Corvane
