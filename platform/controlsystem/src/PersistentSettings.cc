#include "Corvane/Cs/PersistentSettings.h"

#include "Corvane/Cs/ValueCodec.h"

#include <Corvane/ControlSystem.h>
#include <Corvane/Exception.h>
#include <Corvane/Logger.h>
#include <Corvane/TextFile.h>
#include <Corvane/VariableTags.h>

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <optional>

namespace Corvane::Cs {

  namespace {
    constexpr const char* source = "PersistentSettings";
    constexpr const char* formatName = "corvane-settings";

    bool isTriggerName(const std::string& path) {
      auto name = path.substr(path.rfind('/') + 1);
      return name == "trigger" || name == "triggerNumber" || name.ends_with("Trigger");
    }

    /// Faults of one kind listed in a report; the rest is counted.
    constexpr std::size_t maxFaultsListed = 8;
    /// Paths in reports are cut to this length (a damaged file may hold a path of any length).
    constexpr std::size_t maxPathShown = 160;

    std::string shown(const std::string& path) {
      return path.size() <= maxPathShown ? path : path.substr(0, maxPathShown) + "...";
    }

    /// The entry one member of the settings object describes, or nothing when it is malformed.
    std::optional<PersistentSettings::Entry> entryOf(const Json& item) {
      if(!item.isObject()) return std::nullopt;
      auto* type = item.find("type");
      auto* value = item.find("value");
      if(!type || !type->isString() || !value) return std::nullopt;
      return PersistentSettings::Entry{type->text(), *value};
    }

    /// What is wrong with a document's "format" and "version", or nothing.
    std::string headerFault(const Json& document) {
      auto* format = document.find("format");
      if(!format || !format->isString() || format->text() != formatName) {
        return std::string("not a settings file (\"format\" is not \"") + formatName + "\")";
      }
      auto* version = document.find("version");
      if(!version || !version->isNumber() || version->text() != "1") return "unknown settings file version";
      return {};
    }

    /// Counts malformed entries and lists the first few.
    struct MalformedEntries {
      std::vector<std::string>& faults;
      std::size_t count{0};
      void add(std::string fault) {
        if(count++ < maxFaultsListed) faults.push_back(std::move(fault));
      }
      void finish() {
        if(count > maxFaultsListed) faults.push_back(std::to_string(count - maxFaultsListed) + " more malformed settings");
      }
    };

    /// Reads a file that is no JSON document any more line by line, one entry a line as written.
    void salvageLines(std::string_view text, PersistentSettings::Contents& contents) {
      auto lineEnd = text.find('\n');
      std::string header(text.substr(0, lineEnd));
      try {
        // the first line opens the document and its settings object
        if(auto fault = headerFault(Json::parse(header + "}}")); !fault.empty()) {
          contents.faults.push_back(fault);
          return;
        }
      }
      catch(std::exception&) {
        contents.faults.push_back("its first line does not name the settings format, so none of its entries is trusted");
        return;
      }
      MalformedEntries malformed{contents.faults};
      std::size_t lineNumber = 1;
      while(lineEnd != std::string_view::npos) {
        auto start = lineEnd + 1;
        lineEnd = text.find('\n', start);
        ++lineNumber;
        auto line = text.substr(start, lineEnd == std::string_view::npos ? std::string_view::npos : lineEnd - start);
        while(!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.remove_suffix(1);
        if(!line.empty() && line.back() == ',') line.remove_suffix(1);
        if(line.empty() || line == "}}") continue;
        std::optional<PersistentSettings::Entry> entry;
        std::string path;
        std::string wrapped;
        wrapped.reserve(line.size() + 2);
        wrapped.append(1, '{').append(line).append(1, '}');
        try {
          auto member = Json::parse(wrapped);
          if(member.members().size() == 1) {
            path = member.members().front().first;
            entry = entryOf(member.members().front().second);
          }
        }
        catch(std::exception&) {
        }
        if(entry) contents.entries[path] = std::move(*entry);
        else malformed.add("line " + std::to_string(lineNumber) + " is no well-formed setting");
      }
      malformed.finish();
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
    auto tags = variable.tags();
    if(tags.count(Tags::notPersisted) || tags.count(Tags::command)) return false;
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
    auto contents = salvage(text);
    if(!contents.faults.empty()) throw runtime_error(contents.faults.front());
    return std::move(contents.entries);
  }

  PersistentSettings::Contents PersistentSettings::salvage(std::string_view text) {
    Contents contents;
    std::optional<Json> document;
    try {
      document = Json::parse(text);
    }
    catch(std::exception& e) {
      contents.faults.push_back(std::string("not a JSON document: ") + e.what());
    }
    if(!document) {
      salvageLines(text, contents);
      return contents;
    }
    if(auto fault = headerFault(*document); !fault.empty()) {
      contents.faults.push_back(fault);
      return contents;
    }
    auto* settings = document->find("settings");
    if(!settings || !settings->isObject()) {
      contents.faults.push_back("\"settings\" is missing or not an object");
      return contents;
    }
    auto* sum = document->find("checksum");
    if(!sum || !sum->isString() || sum->text() != checksum(settings->dump())) {
      contents.faults.push_back("checksum mismatch: the file was changed or damaged after it was written");
    }
    MalformedEntries malformed{contents.faults};
    for(auto& [path, item] : settings->members()) {
      if(auto entry = entryOf(item)) contents.entries[path] = std::move(*entry);
      else malformed.add("setting " + shown(path) + " is malformed");
    }
    malformed.finish();
    return contents;
  }

  void PersistentSettings::removeOrphanTemporary() const {
    auto temporary = _file;
    temporary += ".tmp";
    std::error_code ec;
    if(!std::filesystem::is_regular_file(std::filesystem::symlink_status(temporary, ec))) return;
    if(std::filesystem::remove(temporary, ec)) {
      logger(Logger::Severity::info, source) << "removed " << temporary.string() << ", left by a save that was interrupted";
    }
    else if(ec) {
      logger(Logger::Severity::warning, source) << "cannot remove " << temporary.string() << ": " << ec.message();
    }
  }

  std::string PersistentSettings::setAside() const {
    auto aside = _file;
    aside += ".damaged-" + utcStamp();
    std::error_code ec;
    // an earlier copy set aside in the same second stays: the new one gets a number
    for(int n = 2; std::filesystem::exists(std::filesystem::symlink_status(aside, ec)); ++n) {
      aside = _file;
      aside += ".damaged-" + utcStamp() + "-" + std::to_string(n);
    }
    std::filesystem::rename(_file, aside, ec);
    return ec ? "it could not be moved aside: " + ec.message() : "it was moved to " + aside.string();
  }

  void PersistentSettings::warnAboutUnknownPaths() const {
    std::vector<std::string> unknown;
    for(auto& [path, entry] : _loaded)
      if(!_controlSystem.has(path)) unknown.push_back(path);
    if(unknown.empty()) return;
    auto warning = logger(Logger::Severity::warning, source);
    warning << "persisted settings of paths this application does not have are not used and are left out of the next "
            << "save (" << unknown.size() << "): ";
    for(std::size_t i = 0; i < unknown.size() && i < maxFaultsListed; ++i) warning << (i ? ", " : "") << shown(unknown[i]);
    if(unknown.size() > maxFaultsListed) warning << " and " << unknown.size() - maxFaultsListed << " more";
  }

  void PersistentSettings::load() {
    _loaded.clear();
    removeOrphanTemporary();
    using Fault = TextFile::Fault;
    auto file = TextFile::tryRead(_file, static_cast<std::size_t>(_options.maxFileBytes));
    // a path that cannot even be looked at counts as no file
    if(file.fault == Fault::missing || file.fault == Fault::unexaminable) {
      logger(Logger::Severity::info, source) << "no persisted settings in " << _file.string() << ", starting without";
      return;
    }
    // refused unread: not a regular file (a FIFO would block the start) or larger than any real station's
    if(file.fault == Fault::directory || file.fault == Fault::notRegular || file.fault == Fault::tooLarge) {
      auto refusal = file.fault == Fault::tooLarge
          ? "it holds " + std::to_string(file.size) + " bytes, more than the " + std::to_string(_options.maxFileBytes) +
              " a settings file may hold"
          : std::string("it is not a regular file");
      logger(Logger::Severity::error, source) << "persisted settings file " << _file.string() << " is not read: " << refusal
                                               << "; starting without persisted settings; " << setAside();
      return;
    }
    if(file.fault == Fault::cannotOpen) {
      logger(Logger::Severity::error, source) << "persisted settings file " << _file.string() << " cannot be read ("
                                               << file.reason << "), starting without";
      return;
    }
    // what a file that failed part-way gave is judged like any text: it counts as damaged
    auto contents = file.fault == Fault::grewTooLarge ? Contents{{}, {"it grew beyond the size limit while read"}}
                                                       : salvage(file.content);
    file.content = std::string();
    _loaded = std::move(contents.entries);
    if(contents.faults.empty()) {
      logger(Logger::Severity::info, source) << "read " << _loaded.size() << " persisted settings from " << _file.string();
    }
    else {
      auto report = logger(Logger::Severity::error, source);
      report << "persisted settings file " << _file.string() << " is damaged (";
      for(std::size_t i = 0; i < contents.faults.size(); ++i) report << (i ? "; " : "") << contents.faults[i];
      report << "); " << _loaded.size() << " well-formed settings in it are used, the rest is lost; " << setAside();
    }
    warnAboutUnknownPaths();
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
    std::vector<std::uint64_t> counts(_persisted.size());
    for(std::size_t i = 0; i < _persisted.size(); ++i) {
      auto* variable = _persisted[i];
      // the count first: a value arriving in between is saved next time
      counts[i] = variable->updateCount();
      auto value = variable->latestValue();
      if(!value) continue;
      std::string text;
      ValueCodec::appendJson(text, variable->nElements(), value);
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
