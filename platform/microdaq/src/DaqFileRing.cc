#include "DaqFileRing.h"

#include "Hdf5ErrorStack.h"

#include "Corvane/Exception.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

namespace Corvane {

  namespace fs = std::filesystem;

  namespace {
    const std::string suffix = ".h5";
    const std::string temporarySuffix = ".tmp";

    /// Index of "<stem>_<index>.h5", if the name has that form.
    std::optional<std::size_t> indexOf(const std::string& fileName, const std::string& stem) {
      const std::string prefix = stem + "_";
      if(fileName.size() <= prefix.size() + suffix.size()) return std::nullopt;
      if(fileName.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
      if(fileName.compare(fileName.size() - suffix.size(), suffix.size(), suffix) != 0) return std::nullopt;
      auto digits = fileName.substr(prefix.size(), fileName.size() - prefix.size() - suffix.size());
      if(digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
      }
      return static_cast<std::size_t>(std::stoul(digits));
    }

    /// The library reports an unwritable place only vaguely; ask the system first for its reason.
    void probeWritable(const fs::path& file) {
      int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      if(fd < 0) throw runtime_error("cannot create " + file.string() + ": " + std::strerror(errno));
      ::close(fd);
    }
  } // namespace

  DaqFileRing::DaqFileRing(std::string stem, Hdf5RecordFile::Description description)
  : _stem(std::move(stem)), _description(std::move(description)) {}

  DaqFileRing::~DaqFileRing() {
    try {
      close();
    }
    catch(...) {
      abandon();
    }
  }

  fs::path DaqFileRing::finalPath(std::size_t index) const {
    return _directory / (_stem + "_" + std::to_string(index) + suffix);
  }

  std::size_t DaqFileRing::nextIndexIn(const fs::path& directory, std::uint32_t numberOfFiles) const {
    std::optional<std::size_t> newest;
    fs::file_time_type newestTime{};
    std::error_code error;
    for(auto it = fs::directory_iterator(directory, error); !error && it != fs::directory_iterator(); it.increment(error)) {
      auto index = indexOf(it->path().filename().string(), _stem);
      if(!index || *index >= numberOfFiles) continue;
      std::error_code timeError;
      auto time = it->last_write_time(timeError);
      if(timeError) continue;
      if(!newest || time > newestTime) {
        newest = index;
        newestTime = time;
      }
    }
    return newest ? (*newest + 1) % numberOfFiles : 0;
  }

  void DaqFileRing::open(const DaqFileSettings& settings) {
    fs::path directory = settings.directory;
    if(directory != _directory) {
      _directory = directory;
      _indexKnown = false;
    }
    std::error_code error;
    fs::create_directories(_directory, error);
    if(error) throw runtime_error("cannot create directory " + _directory.string() + ": " + error.message());
    if(!_indexKnown) {
      _index = nextIndexIn(_directory, settings.numberOfFiles);
      _indexKnown = true;
    }
    _index %= settings.numberOfFiles;
    fs::path temporary = finalPath(_index);
    temporary += temporarySuffix;
    probeWritable(temporary);
    _file = std::make_unique<Hdf5RecordFile>(temporary, _description);
    _triggersInFile = 0;
  }

  bool DaqFileRing::changesFile(const DaqFileSettings& settings) const {
    return !_file || fs::path(settings.directory) != _directory || _triggersInFile + 1 >= settings.triggersPerFile;
  }

  void DaqFileRing::prepare(const DaqFileSettings& settings) {
    Hdf5ErrorStack silence;
    if(_file && fs::path(settings.directory) != _directory) close();
    if(!_file) open(settings);
  }

  void DaqFileRing::write(const DaqRecord& record) {
    prepare(record.settings);
    Hdf5ErrorStack silence;
    std::string group;
    try {
      _file->write(record, group);
    }
    catch(runtime_error&) {
      // keep what the file holds so far when the library can still complete it without this trigger
      try {
        if(!group.empty()) _file->removeTrigger(group);
        close();
      }
      catch(runtime_error&) {
        abandon();
      }
      throw;
    }
    ++_triggersInFile;
    if(_triggersInFile >= record.settings.triggersPerFile) close();
  }

  void DaqFileRing::close() {
    if(!_file) return;
    if(_triggersInFile == 0) {
      // opened ahead of a recording that got no trigger: nothing to keep, no old file to replace
      abandon();
      return;
    }
    Hdf5ErrorStack silence;
    auto temporary = _file->path();
    try {
      _file->close();
    }
    catch(runtime_error&) {
      abandon();
      throw;
    }
    _file.reset();
    auto final = finalPath(_index);
    std::error_code error;
    fs::rename(temporary, final, error);
    if(error) {
      std::error_code ignored;
      fs::remove(temporary, ignored);
      throw runtime_error("cannot rename " + temporary.string() + " to " + final.string() + ": " + error.message());
    }
    ++_filesWritten;
    _index = _index + 1;
  }

  void DaqFileRing::abandon() {
    if(!_file) return;
    auto temporary = _file->path();
    _file.reset();
    std::error_code ignored;
    fs::remove(temporary, ignored);
  }

} // namespace Corvane
