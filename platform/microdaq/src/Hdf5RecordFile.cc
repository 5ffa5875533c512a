#include "Hdf5RecordFile.h"

#include "Hdf5ErrorStack.h"

#include "Corvane/FileDescriptor.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

namespace Corvane {

  namespace {
    /// Version of the layout documented in MicroDAQ.h, stored in every file.
    constexpr std::int32_t layoutVersion = 1;

    template<class T>
    hid_t nativeType() {
      if constexpr(std::is_same_v<T, std::int8_t>) return H5T_NATIVE_INT8;
      else if constexpr(std::is_same_v<T, std::uint8_t>) return H5T_NATIVE_UINT8;
      else if constexpr(std::is_same_v<T, std::int16_t>) return H5T_NATIVE_INT16;
      else if constexpr(std::is_same_v<T, std::uint16_t>) return H5T_NATIVE_UINT16;
      else if constexpr(std::is_same_v<T, std::int32_t>) return H5T_NATIVE_INT32;
      else if constexpr(std::is_same_v<T, std::uint32_t>) return H5T_NATIVE_UINT32;
      else if constexpr(std::is_same_v<T, std::int64_t>) return H5T_NATIVE_INT64;
      else if constexpr(std::is_same_v<T, std::uint64_t>) return H5T_NATIVE_UINT64;
      else if constexpr(std::is_same_v<T, float>) return H5T_NATIVE_FLOAT;
      else if constexpr(std::is_same_v<T, double>) return H5T_NATIVE_DOUBLE;
      else static_assert(sizeof(T) == 0, "no HDF5 type for this value type");
    }

    /// UTC with microseconds, e.g. "2026-03-01T12:00:00.123456Z".
    std::string isoTime(std::chrono::system_clock::time_point time) {
      auto micros = std::chrono::duration_cast<std::chrono::microseconds>(time.time_since_epoch()).count();
      auto seconds = static_cast<std::time_t>(micros >= 0 ? micros / 1000000 : (micros - 999999) / 1000000);
      auto fraction = static_cast<long>(micros - static_cast<std::int64_t>(seconds) * 1000000);
      std::tm parts{};
      gmtime_r(&seconds, &parts);
      char text[48];
      auto n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &parts);
      std::snprintf(text + n, sizeof text - n, ".%06ldZ", fraction);
      return text;
    }
  } // namespace

  Hdf5RecordFile::Hdf5RecordFile(const std::filesystem::path& path, const Description& description) : _path(path) {
    const std::string name = path.string();
    Hdf5Handle fileProperties(H5Pcreate(H5P_FILE_CREATE), H5Pclose, "cannot create file properties");
    // keep the order in which triggers were written (h5dump --sort_by=creation_order)
    Hdf5ErrorStack::check(
        H5Pset_link_creation_order(fileProperties, H5P_CRT_ORDER_TRACKED | H5P_CRT_ORDER_INDEXED),
        "cannot set the link order of " + name);
    _file = Hdf5Handle(
        H5Fcreate(name.c_str(), H5F_ACC_TRUNC, fileProperties, H5P_DEFAULT), H5Fclose, "cannot create " + name);
    // the library's default driver opens the file without close-on-exec
    void* descriptor = nullptr;
    if(H5Fget_vfd_handle(_file, H5P_DEFAULT, &descriptor) >= 0 && descriptor)
      markCloseOnExec(*static_cast<int*>(descriptor));

    _scalarSpace = Hdf5Handle(H5Screate(H5S_SCALAR), H5Sclose, "cannot create a dataspace");
    _stringType = Hdf5Handle(H5Tcopy(H5T_C_S1), H5Tclose, "cannot create the string type");
    Hdf5ErrorStack::check(H5Tset_size(_stringType, H5T_VARIABLE), "cannot create the string type");
    Hdf5ErrorStack::check(H5Tset_cset(_stringType, H5T_CSET_UTF8), "cannot create the string type");
    // the enumeration that h5py reads as numpy bool
    _booleanType = Hdf5Handle(H5Tenum_create(H5T_NATIVE_INT8), H5Tclose, "cannot create the Boolean type");
    std::int8_t no = 0, yes = 1;
    Hdf5ErrorStack::check(H5Tenum_insert(_booleanType, "FALSE", &no), "cannot create the Boolean type");
    Hdf5ErrorStack::check(H5Tenum_insert(_booleanType, "TRUE", &yes), "cannot create the Boolean type");
    // no modification times in object headers: smaller files, and equal records give equal files
    _datasetProperties = Hdf5Handle(H5Pcreate(H5P_DATASET_CREATE), H5Pclose, "cannot create dataset properties");
    Hdf5ErrorStack::check(H5Pset_obj_track_times(_datasetProperties, false), "cannot set dataset properties");
    _groupProperties = Hdf5Handle(H5Pcreate(H5P_GROUP_CREATE), H5Pclose, "cannot create group properties");
    Hdf5ErrorStack::check(H5Pset_obj_track_times(_groupProperties, false), "cannot set group properties");

    writeAttribute(_file, "layoutVersion", H5T_NATIVE_INT32, &layoutVersion);
    const char* recorder = description.recorder.c_str();
    writeAttribute(_file, "recorder", _stringType, &recorder);
    const char* trigger = description.trigger.c_str();
    writeAttribute(_file, "trigger", _stringType, &trigger);
  }

  void Hdf5RecordFile::writeAttribute(hid_t object, const char* name, hid_t type, const void* value) {
    Hdf5Handle attribute(H5Acreate2(object, name, type, _scalarSpace, H5P_DEFAULT, H5P_DEFAULT), H5Aclose,
        std::string("cannot create attribute ") + name + " in " + _path.string());
    Hdf5ErrorStack::check(
        H5Awrite(attribute, type, value), std::string("cannot write attribute ") + name + " in " + _path.string());
  }

  std::string Hdf5RecordFile::uniqueGroupName(std::int64_t triggerNumber) {
    // a trigger number seen twice in one file (a restarted trigger source) gets a suffix
    const std::string base = "trigger_" + std::to_string(triggerNumber);
    std::string name = base;
    for(int k = 2;; ++k) {
      htri_t exists = H5Lexists(_file, name.c_str(), H5P_DEFAULT);
      Hdf5ErrorStack::check(static_cast<herr_t>(exists), "cannot look up " + name + " in " + _path.string());
      if(exists == 0) return name;
      name = base + "_" + std::to_string(k);
    }
  }

  void Hdf5RecordFile::write(const DaqRecord& record, std::string& groupName) {
    const auto& layout = *record.layout;
    groupName = uniqueGroupName(record.triggerNumber);
    Hdf5Handle group(H5Gcreate2(_file, groupName.c_str(), H5P_DEFAULT, _groupProperties, H5P_DEFAULT), H5Gclose,
        "cannot create group " + groupName + " in " + _path.string());

    bool allValid = record.triggerValidity == DataValidity::ok;
    for(auto& value : record.values) allValid = allValid && value.validity == DataValidity::ok;
    auto time = record.version.getTime();
    std::int64_t timeStamp = std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count();
    std::string timeText = isoTime(time);
    const char* timeTextPointer = timeText.c_str();
    std::uint64_t version = record.version.value();
    std::uint8_t valid = allValid ? 1 : 0;
    writeAttribute(group, "triggerNumber", H5T_NATIVE_INT64, &record.triggerNumber);
    writeAttribute(group, "timeStamp", H5T_NATIVE_INT64, &timeStamp);
    writeAttribute(group, "time", _stringType, &timeTextPointer);
    writeAttribute(group, "version", H5T_NATIVE_UINT64, &version);
    writeAttribute(group, "valid", H5T_NATIVE_UINT8, &valid);

    std::vector<Hdf5Handle> groups;
    groups.reserve(layout.groups().size());
    for(auto& sub : layout.groups()) {
      hid_t parent = sub.parent < 0 ? group.get() : groups[static_cast<std::size_t>(sub.parent)].get();
      groups.emplace_back(H5Gcreate2(parent, sub.name.c_str(), H5P_DEFAULT, _groupProperties, H5P_DEFAULT), H5Gclose,
          "cannot create group " + sub.name + " in " + _path.string());
    }
    for(std::size_t i = 0; i < layout.variables().size(); ++i) {
      int g = layout.groupOf(i);
      hid_t parent = g < 0 ? group.get() : groups[static_cast<std::size_t>(g)].get();
      writeDataset(parent, layout.datasetName(i), layout.variables()[i], record.values[i]);
    }
  }

  void Hdf5RecordFile::writeDataset(
      hid_t parent, const std::string& name, const DaqVariable& variable, const DaqValue& value) {
    std::visit(
        [&](const auto& data) {
          using T = typename std::decay_t<decltype(data)>::value_type;
          const std::string what = variable.storedName + " in " + _path.string();
          hid_t type;
          if constexpr(std::is_same_v<T, std::string>) type = _stringType;
          else if constexpr(std::is_same_v<T, Boolean>) type = _booleanType;
          else type = nativeType<T>();

          // a scalar variable is a scalar dataset, an array a one-dimensional one of the stored length
          Hdf5Handle arraySpace;
          hid_t space = _scalarSpace;
          if(variable.nElements != 1 || data.size() != 1) {
            hsize_t length = data.size();
            arraySpace = Hdf5Handle(H5Screate_simple(1, &length, nullptr), H5Sclose, "cannot create the space of " + what);
            space = arraySpace;
          }
          Hdf5Handle dataset(H5Dcreate2(parent, name.c_str(), type, space, H5P_DEFAULT, _datasetProperties, H5P_DEFAULT),
              H5Dclose, "cannot create dataset " + what);
          if(!data.empty()) {
            if constexpr(std::is_same_v<T, std::string>) {
              std::vector<const char*> pointers;
              pointers.reserve(data.size());
              for(auto& text : data) pointers.push_back(text.c_str());
              Hdf5ErrorStack::check(
                  H5Dwrite(dataset, type, H5S_ALL, H5S_ALL, H5P_DEFAULT, pointers.data()), "cannot write " + what);
            }
            else {
              Hdf5ErrorStack::check(
                  H5Dwrite(dataset, type, H5S_ALL, H5S_ALL, H5P_DEFAULT, data.data()), "cannot write " + what);
            }
          }
          std::uint8_t valid = value.validity == DataValidity::ok ? 1 : 0;
          std::uint64_t version = value.version.value();
          writeAttribute(dataset, "valid", H5T_NATIVE_UINT8, &valid);
          writeAttribute(dataset, "version", H5T_NATIVE_UINT64, &version);
          if(value.decimation > 1) writeAttribute(dataset, "decimation", H5T_NATIVE_UINT32, &value.decimation);
        },
        value.data);
  }

  void Hdf5RecordFile::removeTrigger(const std::string& groupName) {
    Hdf5ErrorStack::check(H5Ldelete(_file, groupName.c_str(), H5P_DEFAULT),
        "cannot remove the incomplete group " + groupName + " from " + _path.string());
  }

  void Hdf5RecordFile::close() {
    if(!_file.valid()) return;
    Hdf5ErrorStack::check(H5Fflush(_file, H5F_SCOPE_LOCAL), "cannot write " + _path.string());
    _file.close("cannot close " + _path.string());
  }

} // namespace Corvane
