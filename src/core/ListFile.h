// ListFile: one text file of entries, one entry per line, as every component
// of the gate reads and appends it (lists of the configuration directory and
// the daily decision log alike).
//
// Locking: every ListFile naming the same path shares one process-wide mutex,
// held for the whole of each read and around the single write of each append
// (with its look at the file's last byte, where people edit the file).
// Appends from any thread or component therefore land as whole lines, and a
// reader never sees a partly written one. The mutex is only ever held around
// the file operation itself, so callers may hold their own locks when they call
// in.
#ifndef QUORVANTEL_CORE_LISTFILE_H_
#define QUORVANTEL_CORE_LISTFILE_H_

#include <filesystem>
#include <functional>
#include <mutex>
#include <string>

class ListFile {
 public:
  // Which ends of a line lose their blanks, tabs, carriage returns and line
  // feeds before the line counts as an entry.
  enum class Trim { kEnd, kBothEnds };

  enum class AppendResult {
    kWritten,
    kOpenFailed,  // the caller reports this in its own words
    kRefused,     // the entry holds a line break; reported here, not written
  };

  // Who writes the file. People editing a list by hand may leave its last
  // line without a line end, which an append then supplies first; a file
  // only the gate writes always ends with one, and its appends (one per
  // request for the decision log) skip that look.
  enum class Writers { kGateAndPeople, kGateOnly };

  // The file `fileName` of directory `dir`, joined with the platform's
  // separator (config/BadIPs.txt here).
  ListFile(const std::filesystem::path& dir, const std::string& fileName);
  // A file named by a path relative to the working directory.
  explicit ListFile(std::string path,
                    Writers writers = Writers::kGateAndPeople);

  ListFile(const ListFile&) = delete;
  ListFile& operator=(const ListFile&) = delete;

  // The narrow path that is opened and that messages print.
  const std::string& path() const { return path_; }

  // Calls onEntry with every entry in file order: each line trimmed as asked,
  // empty ones skipped. Returns false, calling nothing, when the file does
  // not open for reading or is a directory.
  bool forEachEntry(
      Trim trim, const std::function<void(std::string&& entry)>& onEntry) const;

  // Appends `line` and a line end, creating the file when it is missing; a
  // last line left without its line end by a hand edit is ended first, where
  // the file can be read.
  // An entry holding a carriage return or line feed would split into several
  // entries for every later reader, so it is refused with one line on
  // standard error naming the file.
  AppendResult append(const std::string& line) const;

  static std::string joinPath(const std::filesystem::path& dir,
                              const std::string& fileName);

 private:
  std::string path_;
  Writers writers_;
  std::mutex& mutex_;
};

#endif  // QUORVANTEL_CORE_LISTFILE_H_
