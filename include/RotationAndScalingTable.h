// A per-sample rotation and scaling of a controller signal, loaded into a double-buffered table of the
// controller board: from the operator arrays "scale" and "rotation" (degrees) it computes I = scale cos(angle)
// and Q = scale sin(angle) at every sample and writes them under the board's firmware table mutex. The
// controller builds two, "FeedForward/RotationTable" and "Output/CalibrationTable"; their directories bind
// each to its own table registers. Slave and monitoring-only stations have neither (the controller group
// is taken out there).
//
// An update in which a scale or rotation element is not finite or lies beyond single precision is refused
// whole with one warning naming the table and the element; the table in the firmware stays as it was.
#pragma once

#include "BufferedTable.h"
#include "MultiClientFirmwareMutex.h"

#include <Corvane/ApplicationModule.h>
#include <Corvane/ArrayAccessor.h>

#include <cstdint>
#include <string>
#include <unordered_set>

class RotationAndScalingTable : public Corvane::ApplicationModule {
 public:
  /// Source name of the module's log messages.
  static constexpr const char* logSource = "RotationAndScalingTable";

  RotationAndScalingTable(Corvane::ModuleGroup* owner, const std::string& name, const std::string& description,
      const std::unordered_set<std::string>& tags = {});

  void mainLoop() override;

  /// Elements of every array ("Configuration/pulseLength").
  std::uint32_t pulseLength;
  Corvane::ArrayPushInput<double> scale{
      this, "scale", "", pulseLength, "Scaling factor for total feed forward signal"};
  Corvane::ArrayPushInput<double> rotation{
      this, "rotation", "deg", pulseLength, "Rotation angle for total feed forward signal"};
  MultiClientFirmwareMutex::ClientInterface tableLock{this, "/Controller/Configuration/tableBufferMode"};
  BufferedTable<double> table{this, ".", ""};

 private:
  /// Fills the table's I and Q from scale and rotation; false (with the warning) when an input is refused.
  bool computeTable();
};
