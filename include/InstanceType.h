// The station's role in its RF system, "Configuration/instanceType" (int32): 1 master, 2 slave, 4 monitoring-only.
// The file may hold any other number; the station starts with it, and each module's rule says what such a
// number means for it (most modules treat it as they treat a master, the beam loading compensation keeps only
// 0 and 1). Modules ask through these functions instead of comparing the number with literals.
#pragma once

#include <cstdint>
#include <optional>

namespace Corvane {
  class ConfigReader;
} // namespace Corvane

enum class InstanceType : std::int32_t { master = 1, slave = 2, monitoringOnly = 4 };

/// The instance type that `number` names; nullopt for a number that names none (0, 3, -1, ...). Never an
/// enumeration value without a name.
std::optional<InstanceType> instanceTypeOf(std::int32_t number);

/// The configured number, "Configuration/instanceType"; a missing key or one of another type throws the
/// reader's Corvane::logic_error.
std::int32_t configuredInstanceTypeNumber(const Corvane::ConfigReader& config);

/// The configured instance type (see instanceTypeOf()).
std::optional<InstanceType> configuredInstanceType(const Corvane::ConfigReader& config);

/// False for slaves and monitoring-only instances: they drive no cavity themselves, so the controller group and
/// the modules that shape or correct its drive (output vector correction, learning feed-forward, the gain
/// table's sampling frequency) take themselves out. True for a master and for numbers that name no type.
bool runsOwnController(std::optional<InstanceType> type);
