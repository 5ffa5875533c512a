// Persisted operator settings: the latest value of every control-system-fed variable, whoever
// wrote it last (an operator, a module's write-back, a validator's correction), kept in a file
// beside the configuration and restored as the variable's initial value at the next start.
//
// - Saved at most once per interval (default 1 s) when something changed, and at stop();
//   written to "<file>.tmp", flushed to disk and renamed over the file, so a crash leaves
//   either the old or the new file, never a torn one.
// - Not persisted: variables the application, a device, the configuration or a constant feeds
//   (configuration-file values therefore always win), Void variables, arrays of more than
//   maxArrayElements, variables tagged "_Corvane_notPersisted", and triggers: variables whose
//   name is "trigger" or "triggerNumber" or ends in "Trigger" ("/Server/triggerNumber",
//   "/Server/testTrigger").
// - A damaged file (not JSON, wrong format, checksum mismatch) is reported at error severity,
//   renamed to "<file>.damaged-<UTC time>" and not used; nothing of it is trusted. An entry whose
//   type or length no longer matches its variable is skipped with a warning. Entries of paths
//   the application does not have (a disabled module) are kept in the file.
// - Failing to write the file is logged, never fatal.
//
// File: {"format":"corvane-settings","version":1,"checksum":"<FNV-1a 64 of the compact settings
// object, hex>","settings":{"/path":{"type":"double","value":1.5}, ...}} with one setting a line.
#pragma once

#include "Corvane/Cs/Json.h"

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace Corvane {
  class ControlSystem;
  class ControlSystemVariable;
} // namespace Corvane

namespace Corvane::Cs {

  class PersistentSettings {
   public:
    struct Options {
      std::size_t maxArrayElements{1024};
      std::chrono::milliseconds interval{1000};
    };

    struct Entry {
      std::string type;
      Json value;
    };
    using Entries = std::map<std::string, Entry>;

    PersistentSettings(ControlSystem& controlSystem, std::filesystem::path file, Options options);
    PersistentSettings(ControlSystem& controlSystem, std::filesystem::path file)
    : PersistentSettings(controlSystem, std::move(file), Options{}) {}
    ~PersistentSettings();
    PersistentSettings(const PersistentSettings&) = delete;
    PersistentSettings& operator=(const PersistentSettings&) = delete;

    /// Reads the file (absent: nothing to restore; damaged: reported and set aside). Never throws.
    void load();
    /// Offers the loaded values as initial values to the control system. Before the application runs.
    void installInitialValues();
    /// Number of variables that took a restored value.
    std::size_t restoredCount() const;

    /// Starts the background saver; stop() ends it and saves a last time.
    void start();
    void stop();
    /// Saves now if anything changed since the last save. False when writing failed (logged).
    bool saveIfChanged();

    static bool isPersisted(const ControlSystemVariable& variable, const Options& options);
    const std::filesystem::path& file() const { return _file; }

    static std::string encode(const Entries& entries);
    /// Throws Corvane::runtime_error saying why the text is not a valid settings file.
    static Entries decode(std::string_view text);
    static std::string checksum(std::string_view text);

   private:
    struct Restored;
    bool save();
    void run();

    ControlSystem& _controlSystem;
    std::filesystem::path _file;
    Options _options;
    Entries _loaded;
    std::shared_ptr<Restored> _restored;
    std::vector<ControlSystemVariable*> _persisted;
    std::vector<std::uint64_t> _savedCounts;
    bool _everSaved{false};

    std::mutex _mutex;
    std::condition_variable _wake;
    bool _stopRequested{false};
    std::mutex _saveMutex;
    std::thread _thread;
  };

} // namespace Corvane::Cs
