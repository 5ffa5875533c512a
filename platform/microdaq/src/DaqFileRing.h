// The ring of files of one MicroDAQ in its output directory: "<stem>_<index>.h5" with index
// 0 .. numberOfFiles-1. The file being written is "<stem>_<index>.h5.tmp" and replaces the
// complete file of that index (the oldest of the ring) only when it is closed, by a rename, so
// that every "*.h5" file is complete. After a start or a change of directory the ring continues
// after the most recently modified file of the directory.
//
// A failure throws Corvane::runtime_error naming the file and the cause; the file being written
// is then closed without the failed trigger when the library still can, else removed, and the
// next record starts a new attempt. Used only by the writer thread (not thread-safe).
#pragma once

#include "Hdf5RecordFile.h"

#include "Corvane/DaqRecord.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace Corvane {

  class DaqFileRing {
   public:
    DaqFileRing(std::string stem, Hdf5RecordFile::Description description);
    /// Closes the current file, ignoring failures.
    ~DaqFileRing();
    DaqFileRing(const DaqFileRing&) = delete;
    DaqFileRing& operator=(const DaqFileRing&) = delete;

    /// Opens the file that the next record goes to (when none is open, or the directory
    /// changed), so that the first record of a recording finds it ready.
    void prepare(const DaqFileSettings& settings);
    /// Stores one record (in the directory and with the file sizes of its settings).
    void write(const DaqRecord& record);
    /// Completes the current file, if any. A file without triggers is removed instead: it
    /// takes no place in the ring.
    void close();

    /// Whether writing a record with `settings` opens or completes a file.
    bool changesFile(const DaqFileSettings& settings) const;

    /// Files completed since construction.
    std::uint64_t filesWritten() const { return _filesWritten; }
    /// The file being written, empty when none is open.
    std::string currentFile() const { return _file ? _file->path().string() : std::string{}; }

   private:
    void open(const DaqFileSettings& settings);
    void abandon();
    std::size_t nextIndexIn(const std::filesystem::path& directory, std::uint32_t numberOfFiles) const;
    std::filesystem::path finalPath(std::size_t index) const;

    std::string _stem;
    Hdf5RecordFile::Description _description;
    std::filesystem::path _directory;
    bool _indexKnown{false};
    std::size_t _index{0};
    std::uint32_t _triggersInFile{0};
    std::uint64_t _filesWritten{0};
    std::unique_ptr<Hdf5RecordFile> _file;
  };

} // namespace Corvane
