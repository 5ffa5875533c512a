// The dummy backend a board fixture opened under a device alias, for the tests' register checks.
#pragma once

#include <Corvane/BackendFactory.h>
#include <Corvane/DummyBackend.h>

#include <memory>
#include <string>

namespace adcboard {

  inline std::shared_ptr<Corvane::DummyBackend> dummy(const std::string& alias) {
    return std::dynamic_pointer_cast<Corvane::DummyBackend>(Corvane::BackendFactory::getInstance().findBackend(alias));
  }

} // namespace adcboard
