// Persisted operator settings: the latest value of every control-system-fed variable, whoever
// wrote it last (an operator, a module's write-back, a validator's correction), kept in a file
// beside the configuration and restored as the variable's initial value at the next start.
//
// - Saved at most once per interval (default 1 s) when something changed, and at stop();
//   written to "<file>.tmp", flushed to disk and renamed over the file, so a crash leaves
//   either the old or the new file, never a torn one.
// - Not persisted: variables the application, a device, the configuration or a constant feeds
//   (configuration-file values therefore always win), Void variables, arrays of more than
//   maxArrayElements, commands (tagged Tags::command, "_Corvane_command": a write asks for an
//   action once, e.g. "performPhaseRotation", "forceReinitialisation", "printTrace"), variables
//   tagged Tags::notPersisted ("_Corvane_notPersisted"), and triggers: variables whose name is
//   "trigger" or "triggerNumber" or ends in "Trigger" ("/Server/triggerNumber", "/Server/testTrigger").
// - At load, a "<file>.tmp" left by a save that was killed is removed (the file itself is intact).
// - A file larger than maxFileBytes (default 16 MiB, some hundred times a real station's) or not a
//   regular file is not read: it is reported at error severity and set aside as
//   "<file>.damaged-<UTC time>", and the application starts without persisted settings.
// - A file that cannot be opened (no permission) is reported at error severity and left where it
//   is; the application starts without persisted settings. A path that cannot even be looked at
//   counts as no file.
// - A damaged file (not JSON, a checksum mismatch, a malformed entry, more than maxFileBytes
//   given while read as by a file that grew, or an I/O error part-way through the reading) is
//   reported at error severity and set aside the same way (kept for the operator to inspect), but
//   every entry in what was read that is itself well formed is still restored: the checksum over
//   the settings only flags a damage, the checks of each entry decide. When the text is no JSON
//   document any more (e.g. cut short), its lines are read one by one, one entry a line as
//   written; the first line must still name the format and version. A file that names another
//   format or version, or whose "settings" member is not an object, yields nothing.
// - An entry of a persisted variable is restored when its type is the variable's and its value
//   fits the variable (length, range), else skipped with a warning. Entries of variables that are
//   not persisted (now set by the configuration, a command) are not used and not saved again.
// - Entries of paths the application does not have (a module that is disabled or gone) are not
//   restored and are left out of the next save, with one warning at load naming them.
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
      std::uintmax_t maxFileBytes{16 * 1024 * 1024};
    };

    struct Entry {
      std::string type;
      Json value;
    };
    using Entries = std::map<std::string, Entry>;

    /// What a settings file yields: its well-formed entries and what was wrong with it.
    struct Contents {
      Entries entries;
      std::vector<std::string> faults; ///< empty for a sound file
    };

    PersistentSettings(ControlSystem& controlSystem, std::filesystem::path file, Options options);
    PersistentSettings(ControlSystem& controlSystem, std::filesystem::path file)
    : PersistentSettings(controlSystem, std::move(file), Options{}) {}
    ~PersistentSettings();
    PersistentSettings(const PersistentSettings&) = delete;
    PersistentSettings& operator=(const PersistentSettings&) = delete;

    /// Removes an orphan temporary file and reads the file (absent: nothing to restore; too large:
    /// set aside unread; damaged: reported, set aside, its well-formed entries kept). Never throws.
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
    /// Throws Corvane::runtime_error saying why the text is not a sound settings file.
    static Entries decode(std::string_view text);
    /// Never throws: the well-formed entries of `text` and its faults (see above).
    static Contents salvage(std::string_view text);
    static std::string checksum(std::string_view text);

   private:
    struct Restored;
    bool save();
    void run();
    void removeOrphanTemporary() const;
    /// Renames the file to "<file>.damaged-<UTC time>"; says where it went or why it could not.
    std::string setAside() const;
    void warnAboutUnknownPaths() const;

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
