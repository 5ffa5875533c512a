// Fixtures of the MicroDAQ tests: a private temporary directory, a small application with
// variables to record, and reading the files back through the HDF5 C++ API.
#pragma once

#include <Corvane/Corvane.h>
#include <Corvane/MicroDAQ.h>
#include <Corvane/TemporaryDirectory.h>
#include <Corvane/TestFacility.h>

#include <H5Cpp.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace daqtest {

  /// The recorder's status and its message, as the control system sees them.
  inline std::int32_t status(Corvane::TestFacility& test) { return test.readScalar<std::int32_t>("/MicroDAQ/status"); }
  inline std::string statusMessage(Corvane::TestFacility& test) {
    return test.readScalar<std::string>("/MicroDAQ/status_message");
  }

  namespace fs = std::filesystem;

  /// Below the working directory, the recorder's default directory root.
  class TempDirectory : public Corvane::TemporaryDirectory {
   public:
    TempDirectory() : Corvane::TemporaryDirectory("microdaq", fs::current_path()) {}

    /// Names of the files in the directory (not recursive).
    std::set<std::string> files() const { return filesIn(path()); }

    static std::set<std::string> filesIn(const fs::path& directory) {
      std::set<std::string> names;
      for(auto& entry : fs::directory_iterator(directory)) names.insert(entry.path().filename().string());
      return names;
    }
  };

  /// Variables of several types and ways of tagging, fed by the control system (so a test sets
  /// each value before it writes the trigger), and one module output with a type of its own.
  struct Sources : Corvane::ApplicationModule {
    using ApplicationModule::ApplicationModule;
    Corvane::ScalarPollInput<double> scalar{this, "/Data/scalar", "V", "a scalar", {"DAQ"}};
    Corvane::ArrayPollInput<float> trace{this, "/Data/trace", "", 8, "an array", {"DAQ"}};
    Corvane::ScalarPollInput<std::string> text{this, "/Data/text", "", "a text", {"DAQ"}};
    Corvane::ScalarPollInput<Corvane::Boolean> flag{this, "/Data/flag", "", "a flag", {"DAQ"}};
    Corvane::ScalarPollInput<std::int32_t> untagged{this, "/Data/untagged", "", "not recorded"};
    struct Inherited : Corvane::VariableGroup {
      using VariableGroup::VariableGroup;
      Corvane::ScalarPollInput<std::uint16_t> counter{this, "counter", "", "tagged through its group"};
    } inherited{this, "/Group", "tags its variables", {"DAQ"}};
    // read here as double, fed as int16 by Producer: the feeder's type is recorded
    Corvane::ScalarPollInput<double> produced{this, "/Produced/value", "", "read as double"};
    void mainLoop() override {}
  };

  struct Producer : Corvane::ApplicationModule {
    using ApplicationModule::ApplicationModule;
    Corvane::ScalarOutput<std::int16_t> value{this, "/Produced/value", "", "written once", {"DAQ"}};
    void prepare() override { value.setAndWrite(-1234); }
    void mainLoop() override {}
  };

  inline constexpr const char* triggerPath = "/Server/triggerNumber";

  /// Built like the station: the MicroDAQ is a placeholder that receives the real one last.
  struct DaqApp : Corvane::Application {
    explicit DaqApp(std::size_t queueCapacity = Corvane::MicroDAQBase::defaultQueueCapacity) : Application("daqtest") {
      daq = Corvane::MicroDAQ<std::int64_t>(this, "MicroDAQ", "Local ringbuffer DAQ system", "DAQ", triggerPath);
      daq.setQueueCapacity(queueCapacity);
    }
    Sources sources{this, "Sources", "variables to record"};
    Producer producer{this, "Producer", "an output to record"};
    Corvane::MicroDAQ<std::int64_t> daq;
  };

  /// Settings of a test run; the directory is the only one without a default.
  inline void configure(Corvane::TestFacility& test, const fs::path& directory, std::uint32_t triggersPerFile,
      std::uint32_t numberOfFiles, bool enable = true) {
    test.setScalarDefault<Corvane::Boolean>("/MicroDAQ/enable", enable);
    test.setScalarDefault<std::string>("/MicroDAQ/directory", directory.string());
    test.setScalarDefault<std::uint32_t>("/MicroDAQ/triggersPerFile", triggersPerFile);
    test.setScalarDefault<std::uint32_t>("/MicroDAQ/numberOfFiles", numberOfFiles);
  }

  inline void trigger(Corvane::TestFacility& test, std::int64_t number,
      Corvane::VersionNumber version = Corvane::VersionNumber{}) {
    test.writeScalar<std::int64_t>(triggerPath, number, version);
    test.stepApplication();
  }

  /// Read access to one closed file.
  class DaqFile {
   public:
    explicit DaqFile(const fs::path& path) : _file(path.string(), H5F_ACC_RDONLY) {}

    /// Trigger groups in the order they were written.
    std::vector<std::string> triggers() const {
      std::vector<std::string> names;
      hid_t root = _file.getId();
      H5Literate(
          root, H5_INDEX_CRT_ORDER, H5_ITER_INC, nullptr,
          [](hid_t, const char* name, const H5L_info_t*, void* data) -> herr_t {
            static_cast<std::vector<std::string>*>(data)->emplace_back(name);
            return 0;
          },
          &names);
      return names;
    }

    std::vector<std::int64_t> triggerNumbers() const {
      std::vector<std::int64_t> numbers;
      for(auto& name : triggers()) numbers.push_back(attribute<std::int64_t>(name, "triggerNumber"));
      return numbers;
    }

    bool exists(const std::string& path) const { return H5Lexists(_file.getId(), path.c_str(), H5P_DEFAULT) > 0; }

    bool hasAttribute(const std::string& object, const std::string& name) const {
      return H5Aexists_by_name(_file.getId(), object.c_str(), name.c_str(), H5P_DEFAULT) > 0;
    }

    template<class T>
    T attribute(const std::string& object, const std::string& name) const {
      auto attr = H5Aopen_by_name(_file.getId(), object.c_str(), name.c_str(), H5P_DEFAULT, H5P_DEFAULT);
      if(attr < 0) throw std::runtime_error("no attribute " + name + " at " + object);
      T value{};
      H5Aread(attr, memoryType<T>().getId(), &value);
      H5Aclose(attr);
      return value;
    }

    template<class T>
    std::vector<T> values(const std::string& dataset) const {
      auto set = _file.openDataSet(dataset);
      std::vector<T> data(static_cast<std::size_t>(set.getSpace().getSimpleExtentNpoints()));
      set.read(data.data(), memoryType<T>());
      return data;
    }

    /// A Boolean dataset (the enum FALSE/TRUE over int8) as its raw bytes.
    std::int8_t flag(const std::string& dataset) const {
      auto set = _file.openDataSet(dataset);
      std::int8_t value{};
      set.read(&value, set.getDataType());
      return value;
    }

    std::string text(const std::string& dataset) const {
      auto set = _file.openDataSet(dataset);
      std::string value;
      set.read(value, set.getStrType());
      return value;
    }

    /// Number of dimensions of a dataset (0: scalar).
    int rank(const std::string& dataset) const { return _file.openDataSet(dataset).getSpace().getSimpleExtentNdims(); }
    H5T_class_t typeClass(const std::string& dataset) const { return _file.openDataSet(dataset).getTypeClass(); }
    std::size_t typeSize(const std::string& dataset) const { return _file.openDataSet(dataset).getDataType().getSize(); }

   private:
    template<class T>
    static const H5::PredType& memoryType() {
      if constexpr(std::is_same_v<T, std::int64_t>) return H5::PredType::NATIVE_INT64;
      else if constexpr(std::is_same_v<T, std::uint64_t>) return H5::PredType::NATIVE_UINT64;
      else if constexpr(std::is_same_v<T, std::uint32_t>) return H5::PredType::NATIVE_UINT32;
      else if constexpr(std::is_same_v<T, std::int32_t>) return H5::PredType::NATIVE_INT32;
      else if constexpr(std::is_same_v<T, std::int16_t>) return H5::PredType::NATIVE_INT16;
      else if constexpr(std::is_same_v<T, std::uint16_t>) return H5::PredType::NATIVE_UINT16;
      else if constexpr(std::is_same_v<T, std::uint8_t>) return H5::PredType::NATIVE_UINT8;
      else if constexpr(std::is_same_v<T, std::int8_t>) return H5::PredType::NATIVE_INT8;
      else if constexpr(std::is_same_v<T, float>) return H5::PredType::NATIVE_FLOAT;
      else if constexpr(std::is_same_v<T, double>) return H5::PredType::NATIVE_DOUBLE;
      else static_assert(sizeof(T) == 0, "type not read by the tests");
    }

    H5::H5File _file;
  };

} // namespace daqtest
