// Registers a backend type with the BackendFactory when constructed; a backend library
// defines one static instance, so the type is known as soon as the library is loaded:
//
//   static Corvane::BackendRegisterer registerer("myBoard", &MyBoard::createInstance, {"map"});
#pragma once

#include "Corvane/BackendFactory.h"

namespace Corvane {

  class BackendRegisterer {
   public:
    BackendRegisterer(const std::string& type, BackendFactory::Creator creator,
        std::vector<std::string> requiredParameters = {}, const std::string& version = deviceAccessVersion) {
      BackendFactory::getInstance().registerBackendType(type, std::move(creator), std::move(requiredParameters), version);
    }
  };

} // namespace Corvane
