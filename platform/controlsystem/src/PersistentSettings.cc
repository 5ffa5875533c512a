#include "Corvane/Cs/PersistentSettings.h"

#include "Corvane/Cs/ValueCodec.h"

#include <Corvane/ControlSystem.h>
#include <Corvane/Exception.h>
#include <Corvane/Logger.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>

namespace Corvane::Cs {

  namespace {
    constexpr const char* source = "PersistentSettings";
    constexpr const char* formatName = "corvane-settings";

    bool isTriggerName(const std::string& path) {
      auto name = path.substr(path.rfind('/') + 1);
      return name == "trigger" || name == "triggerNumber" || name.ends_with("Trigger");
    }

    std::string utcStamp() {
      std::time_t now = std::time(nullptr);
      std::tm tm{};
      gmtime_r(&now, &tm);
      char buffer[32];
      auto n = std::strftime(buffer, sizeof(buffer), "%Y%m%dT%H%M%SZ", &tm);
      return std::string(buffer, n);
    }

    /// Writes `content` to `file` through a temporary file and a rename; errno text on failure.
    std::string writeAtomically(const std::filesystem::path& file, const std::string& content) {
      auto temporary = file;
      temporary += ".tmp";
      int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      if(fd < 0) return "cannot create " + temporary.string() + ": " + std::strerror(errno);
      const char* data = content.data();
      std::size_t left = content.size();
      while(left > 0) {
        auto n = ::write(fd, data, left);
        if(n < 0 && errno == EINTR) continue;
        if(n <= 0) {
          std::string error = "cannot write " + temporary.string() + ": " + std::strerror(errno);
          ::close(fd);
          ::unlink(temporary.c_str());
          return error;
        }
        data += n;
        left -= static_cast<std::size_t>(n);
      }
      if(::fsync(fd) != 0 || ::close(fd) != 0) {
        std::string error = "cannot flush " + temporary.string() + ": " + std::strerror(errno);
        ::unlink(temporary.c_str());
        return error;
      }
      if(::rename(temporary.c_str(), file.c_str()) != 0) {
        std::string error = "cannot rename " + temporary.string() + " to " + file.string() + ": " + std::strerror(errno);
        ::unlink(temporary.c_str());
        return error;
      }
      auto directory = file.parent_path().empty() ? std::filesystem::path(".") : file.parent_path();
      int dirFd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if(dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
      }
      return {};
    }
  } // namespace

  /// Values to restore, shared with the initial-value provider (which the control system keeps).
  struct PersistentSettings::Restored {
    std::mutex mutex;
    Entries entries;
    std::size_t count{0};
  };

  PersistentSettings::PersistentSettings(ControlSystem& controlSystem, std::filesystem::path file, Options options)
  : _controlSystem(controlSystem), _file(std::move(file)), _options(options), _restored(std::make_shared<Restored>()) {
    for(auto& [path, variable] : _controlSystem.variables())
      if(isPersisted(*variable, _options)) _persisted.push_back(variable.get());
    _savedCounts.assign(_persisted.size(), 0);
  }

  PersistentSettings::~PersistentSettings() { stop(); }

  bool PersistentSettings::isPersisted(const ControlSystemVariable& variable, const Options& options) {
    if(!variable.isFedByControlSystem()) return false;
    if(variable.type() == DataType::nodata) return false;
    if(variable.nElements() > options.maxArrayElements) return false;
    if(variable.tags().count("_Corvane_notPersisted")) return false;
    return !isTriggerName(variable.path());
  }

  std::string PersistentSettings::checksum(std::string_view text) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for(char c : text) {
      hash ^= static_cast<unsigned char>(c);
      hash *= 0x100000001b3ULL;
    }
    char buffer[17];
    std::snprintf(buffer, sizeof(buffer), "%016llx", static_cast<unsigned long long>(hash));
    return buffer;
  }

  std::string PersistentSettings::encode(const Entries& entries) {
    Json settings = Json::object();
    for(auto& [path, entry] : entries) {
      Json item = Json::object();
      item.set("type", Json::string(entry.type));
      item.set("value", entry.value);
      settings.set(path, std::move(item));
    }
    std::string out = "{\"format\":\"";
    out += formatName;
    out += "\",\"version\":1,\"checksum\":\"" + checksum(settings.dump()) + "\",\"settings\":{";
    bool first = true;
    for(auto& [path, item] : settings.members()) {
      out += first ? "\n" : ",\n";
      first = false;
      Json::appendQuoted(out, path);
      out += ':';
      item.dumpTo(out);
    }
    out += "\n}}\n";
    return out;
  }

  PersistentSettings::Entries PersistentSettings::decode(std::string_view text) {
    Json document = Json::parse(text);
    auto* format = document.find("format");
    if(!format || !format->isString() || format->text() != formatName) {
      throw runtime_error(std::string("not a settings file (\"format\" is not \"") + formatName + "\")");
    }
    auto* version = document.find("version");
    if(!version || version->text() != "1") throw runtime_error("unknown settings file version");
    auto* sum = document.find("checksum");
    auto* settings = document.find("settings");
    if(!settings || !settings->isObject()) throw runtime_error("\"settings\" is missing or not an object");
    if(!sum || !sum->isString() || sum->text() != checksum(settings->dump())) {
      throw runtime_error("checksum mismatch: the file was changed or damaged after it was written");
    }
    Entries entries;
    for(auto& [path, item] : settings->members()) {
      auto* type = item.find("type");
      auto* value = item.find("value");
      if(!item.isObject() || !type || !type->isString() || !value) {
        throw runtime_error("setting " + path + " is malformed");
      }
      entries[path] = Entry{type->text(), *value};
    }
    return entries;
  }

  void PersistentSettings::load() {
    std::ifstream in(_file, std::ios::binary);
    if(!in) {
      logger(Logger::Severity::info, source) << "no persisted settings in " << _file.string() << ", starting without";
      return;
    }
    std::ostringstream content;
    content << in.rdbuf();
    in.close();
    try {
      _loaded = decode(content.str());
      logger(Logger::Severity::info, source) << "read " << _loaded.size() << " persisted settings from " << _file.string();
    }
    catch(std::exception& e) {
      _loaded.clear();
      auto aside = _file;
      aside += ".damaged-" + utcStamp();
      std::error_code ec;
      std::filesystem::rename(_file, aside, ec);
      logger(Logger::Severity::error, source) << "persisted settings file " << _file.string() << " is damaged (" << e.what()
                                               << "); none of it is used; it was moved to "
                                               << (ec ? "(could not be moved: " + ec.message() + ")" : aside.string());
    }
  }

  void PersistentSettings::installInitialValues() {
    {
      std::lock_guard lock(_restored->mutex);
      _restored->entries = _loaded;
    }
    Options options = _options;
    _controlSystem.addInitialValueProvider([restored = _restored, options](ControlSystemVariable& variable) {
      if(!isPersisted(variable, options)) return false;
      std::lock_guard lock(restored->mutex);
      auto it = restored->entries.find(variable.path());
      if(it == restored->entries.end()) return false;
      auto& entry = it->second;
      if(entry.type != dataTypeName(variable.type())) {
        logger(Logger::Severity::warning, source) << "persisted value of " << variable.path() << " not used: it was saved as "
                                                   << entry.type << ", the variable is now "
                                                   << dataTypeName(variable.type());
        return false;
      }
      try {
        auto value = ValueCodec::decodeJson(entry.value, variable.type(), variable.nElements(), variable.path());
        ValueCodec::write(variable, value);
        ++restored->count;
        return true;
      }
      catch(std::exception& e) {
        logger(Logger::Severity::warning, source) << "persisted value not used: " << e.what();
        return false;
      }
    });
  }

  std::size_t PersistentSettings::restoredCount() const {
    std::lock_guard lock(_restored->mutex);
    return _restored->count;
  }

  bool PersistentSettings::saveIfChanged() {
    std::lock_guard lock(_saveMutex);
    bool changed = !_everSaved;
    for(std::size_t i = 0; i < _persisted.size() && !changed; ++i)
      changed = _persisted[i]->updateCount() != _savedCounts[i];
    if(!changed) return true;
    return save();
  }

  bool PersistentSettings::save() {
    Entries entries;
    // settings of paths this application does not have (a disabled module) stay in the file
    for(auto& [path, entry] : _loaded)
      if(!_controlSystem.has(path)) entries[path] = entry;
    std::vector<std::uint64_t> counts(_persisted.size());
    for(std::size_t i = 0; i < _persisted.size(); ++i) {
      auto* variable = _persisted[i];
      // the count first: a value arriving in between is saved next time
      counts[i] = variable->updateCount();
      auto value = variable->latestErased();
      if(!value) continue;
      std::string text;
      ValueCodec::appendJson(text, variable->type(), variable->nElements(), value.get());
      entries[variable->path()] = Entry{std::string(dataTypeName(variable->type())), Json::parse(text)};
    }
    auto error = writeAtomically(_file, encode(entries));
    if(!error.empty()) {
      logger(Logger::Severity::error, source) << "settings not saved: " << error;
      return false;
    }
    _savedCounts = std::move(counts);
    _everSaved = true;
    return true;
  }

  void PersistentSettings::start() {
    if(_thread.joinable()) return;
    _stopRequested = false;
    _thread = std::thread([this] { run(); });
  }

  void PersistentSettings::run() {
    std::unique_lock lock(_mutex);
    while(!_stopRequested) {
      _wake.wait_for(lock, _options.interval, [&] { return _stopRequested; });
      if(_stopRequested) break;
      lock.unlock();
      saveIfChanged();
      lock.lock();
    }
  }

  void PersistentSettings::stop() {
    if(!_thread.joinable()) return;
    {
      std::lock_guard lock(_mutex);
      _stopRequested = true;
    }
    _wake.notify_all();
    _thread.join();
    saveIfChanged();
  }

} // namespace Corvane::Cs
