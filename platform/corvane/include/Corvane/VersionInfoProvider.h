// VersionInfoProvider: publishes the application's version, so that operators and tools can see
// which release and which configuration revision a server runs.
//
// A module named "Application" ("Module to publish version information") with the outputs
// "majorVersion", "minorVersion", "patchVersion" (int32, written at start) and "fullVersion"
// (string "%02d.%02d.%02d-%02d" of the three numbers and the configuration patch version).
// The configuration patch version is the push input "/Application/configPatchVersion": fed by the
// configuration file's key "Application/configPatchVersion" when the file has it, otherwise by
// the control system (0 until someone sets it), so a missing key never stops construction.
// "fullVersion" is written at start and again whenever that input changes.
//
// Only one provider may exist per application: a second one is a logic_error at construction.
#pragma once

#include "Corvane/ApplicationModule.h"
#include "Corvane/ScalarAccessor.h"

#include <cstdint>
#include <string>

namespace Corvane {

  class VersionInfoProvider : public ApplicationModule {
   public:
    /// A placeholder that takes part in nothing until a real provider is moved over it.
    VersionInfoProvider() = default;

    /// `owner` is normally the application, which passes its own version numbers.
    VersionInfoProvider(Module* owner, std::int32_t major, std::int32_t minor, std::int32_t patch);

    VersionInfoProvider(VersionInfoProvider&&) noexcept = default;
    VersionInfoProvider& operator=(VersionInfoProvider&&) noexcept = default;

    ScalarOutput<std::int32_t> majorVersion;
    ScalarOutput<std::int32_t> minorVersion;
    ScalarOutput<std::int32_t> patchVersion;
    ScalarOutput<std::string> fullVersion;
    ScalarPushInput<std::int32_t> configPatchVersion;

    void prepare() override;
    void mainLoop() override;

    /// "%02d.%02d.%02d-%02d", e.g. 8, 7, 1, 3 -> "08.07.01-03".
    static std::string formatFullVersion(std::int32_t major, std::int32_t minor, std::int32_t patch,
        std::int32_t configPatch);

   private:
    /// Throws logic_error when another provider hangs in the same application tree.
    void checkSingleInstance() const;
  };

} // namespace Corvane
