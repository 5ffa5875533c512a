// A dummy board for device-module tests: a device map and a register map written into the
// test's working directory, and access to the in-memory backend.
#pragma once

#include <Corvane/BackendFactory.h>
#include <Corvane/DummyBackend.h>
#include <Corvane/SetDMapFilePath.h>

#include <fstream>
#include <memory>
#include <string>

namespace deviceapp {

  inline std::string writeBoardFiles(const std::string& stem) {
    std::ofstream(stem + ".map") << R"(# name                 n     address bytes bar width frac signed access
Board.status             1     0       4     0   32    0    0      RO
Board.setting            1     4       4     0   32    0    1      RW
Board.command            1     8       4     0   16    0    0      WO
Board.gain               1     12      4     0   18    8    1      RW
Board.daq                2x4   16      32    0   32    0    1      RO
Board.daq0               4     16      16    0   32    0    1      RO
Other.value              1     48      4     0   32    0    1      RO
)";
    std::ofstream(stem + ".dmap") << "Board (dummy:1?map=" << stem << ".map)\n";
    return stem + ".dmap";
  }

  inline std::shared_ptr<Corvane::DummyBackend> dummy(const std::string& alias) {
    return std::dynamic_pointer_cast<Corvane::DummyBackend>(Corvane::BackendFactory::getInstance().findBackend(alias));
  }

} // namespace deviceapp
