// One HDF5 file of the MicroDAQ ring, open for writing: takes trigger records one after the
// other and stores each as a group (layout in MicroDAQ.h). Every library call is checked;
// a failure throws Corvane::runtime_error with the file name and the library's cause, and the
// handles opened so far are closed on the way out.
#pragma once

#include "Hdf5Handle.h"

#include "Corvane/DaqRecord.h"

#include <filesystem>
#include <string>

namespace Corvane {

  class Hdf5RecordFile {
   public:
    /// Attributes of the file's root group.
    struct Description {
      std::string recorder;
      std::string trigger;
    };

    /// Creates the file (replacing one of that name).
    Hdf5RecordFile(const std::filesystem::path& path, const Description& description);

    /// Writes one record as a new group. On failure the partly written group may remain; call
    /// removeTrigger() with the returned name to take it out again.
    void write(const DaqRecord& record, std::string& groupName);
    /// Unlinks a (partly) written trigger group.
    void removeTrigger(const std::string& groupName);

    /// Writes everything to disk and closes the file; throws when that fails (e.g. disk full).
    void close();

    const std::filesystem::path& path() const { return _path; }

   private:
    void writeAttribute(hid_t object, const char* name, hid_t type, const void* value);
    void writeDataset(hid_t parent, const std::string& name, const DaqVariable& variable, const DaqValue& value);
    std::string uniqueGroupName(std::int64_t triggerNumber);

    std::filesystem::path _path;
    Hdf5Handle _file;
    Hdf5Handle _scalarSpace;
    Hdf5Handle _stringType;
    Hdf5Handle _booleanType;
    Hdf5Handle _datasetProperties;
    Hdf5Handle _groupProperties;
  };

} // namespace Corvane
