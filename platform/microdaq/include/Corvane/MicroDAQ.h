// Corvane::MicroDAQ: the station's local recorder. On every update of its trigger it takes the
// current value of each recorded variable and stores them, with the trigger number, time stamp,
// version and validity, in a ring of HDF5 files.
//
// What is recorded: every process variable tagged with `inputTag` ("DAQ") among those declared
// in the application when the MicroDAQ is built (type and length from the declaring accessors;
// a path declared by several accessors is one variable), plus what addSource()/recordPaths()
// add before the application is initialised (e.g. device registers). The trigger is a push
// input; the recorded variables are poll inputs, so each holds its latest value when the
// trigger arrives (its own version, stored with it, tells which pulse it belongs to).
//
// Variables below the MicroDAQ's name (relative to its owner):
//   settings (poll, read at each trigger; a control-system variable nobody set starts at 0):
//     enable (Boolean, off by default), directory (string; empty: "uDAQ" in the working
//     directory), triggersPerFile (uint32; 0: 100), numberOfFiles (uint32; 0: 10),
//     decimationFactor (uint32; 0 or 1: none), decimationThreshold (uint32; arrays with more
//     elements are decimated). While recording is off only "enable" is read.
//
// Directory root: files are written only below the working directory (where the station's
// configuration lies), or below the root that setDirectoryRoot() names. A relative directory
// is taken relative to the working directory. A directory that climbs out of the root with
// "..", an absolute one elsewhere, or one that leaves the root through a symbolic link is
// refused: nothing is created there, the recorder keeps writing into the last accepted
// directory (before any was accepted: the default "uDAQ" when it lies below the root, else
// nowhere), the status is WARNING with the reason while the setting stands, and the refusal is
// logged and sent as an event once per setting. Links are checked again at every new file.
//   status: status + status_message (StatusWithMessage: OK, OFF while disabled, WARNING while
//     files cannot be written), errorMessage (AggregatableMessage, one event per new error),
//     lastError, currentFile (string), filesWritten, recordedTriggers, droppedTriggers (uint64)
//
// Threads: the recorder (an application module) copies the values into a record and queues it;
// the writer (a second application module) writes the files. The pulse path never waits for
// the disk: a trigger that finds `setQueueCapacity()` records waiting is dropped whole, counted
// in droppedTriggers and logged as a warning (at most one line per second, naming the trigger
// numbers). Switching recording on opens the first file at once, before the first record
// comes; while the writer opens or completes a file, `setFileChangeAllowance()` records more
// may wait, so that a slow file change costs no trigger. Switching on or off never holds up
// another module: the recorded values are poll inputs and the file work is the writer's. A full disk or an unwritable directory is a WARNING status, an
// event message and a log line, never a failure of the application; each following trigger
// tries again (in a new file), so recording resumes by itself when the cause is gone.
// A MicroDAQ whose application never runs (e.g. in the generator program) creates no file.
//
// Files (layout version 1, attribute "layoutVersion" of the root group):
//   <directory>/<stem>_<index>.h5, index 0 .. numberOfFiles-1, stem = last component of the
//   MicroDAQ's name. The file being written is "<stem>_<index>.h5.tmp"; it replaces the old
//   file of that index (the oldest of the ring) by a rename when it is closed after
//   triggersPerFile triggers, when recording is disabled or the directory changes, and at
//   shutdown. So every "*.h5" is complete; at most numberOfFiles of them plus one ".tmp" exist.
//   A file that got no trigger (recording switched on and off between two triggers) is
//   removed instead of completed, so it replaces no older file of the ring.
//   After a start the ring continues after the most recently modified file.
//   Root attributes: layoutVersion (int32), recorder (the MicroDAQ's path), trigger (its path).
//   Per trigger one group "/trigger_<number>" (a number seen twice in one file gets "_2", ...;
//   groups are tracked in creation order) with attributes
//     triggerNumber (int64), timeStamp (int64, ns since 1970 UTC, from the trigger's version),
//     time (string, ISO 8601 UTC), version (uint64), valid (uint8: 1 when the trigger and every
//     value were valid).
//   Inside it one dataset per variable at its stored name: the path without the leading "/",
//   as nested groups ("/trigger_7/Controller/Status/x"); a name that is also a group holds its
//   own value in the dataset "#value" of that group. Scalars are scalar datasets, arrays
//   one-dimensional ones, in the variable's own type (Boolean: the enum FALSE/TRUE over int8,
//   as h5py writes bool; strings: variable-length UTF-8). Dataset attributes: valid (uint8),
//   version (uint64), and decimation (uint32) when only every n-th element was kept.
#pragma once

#include "Corvane/MicroDAQBase.h"

#include <string>
#include <type_traits>
#include <unordered_set>

namespace Corvane {

  template<class TriggerType = std::int32_t>
  class MicroDAQ : public MicroDAQBase {
    static_assert(std::is_arithmetic_v<TriggerType> || std::is_same_v<TriggerType, Boolean> ||
            std::is_same_v<TriggerType, Void>,
        "the trigger of a MicroDAQ is a number, a Boolean or Void");

   public:
    /// A placeholder that belongs to no owner; the application moves the real one over it.
    MicroDAQ() = default;

    /// Throws logic_error for an invalid name or trigger path. With a Void trigger the trigger
    /// number counts the triggers from 1.
    MicroDAQ(Module* owner, const std::string& name, const std::string& description, const std::string& inputTag,
        const std::string& triggerPath, const std::unordered_set<std::string>& tags = {})
    : MicroDAQBase(owner, name, description, inputTag, triggerPath, dataTypeOf<TriggerType>(), tags) {}

    MicroDAQ(MicroDAQ&&) noexcept = default;
    MicroDAQ& operator=(MicroDAQ&&) noexcept = default;
  };

} // namespace Corvane
