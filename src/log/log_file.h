// The file the counter log goes to.
//
// Every row is handed to the system as soon as it is written, so a power cut or
// a killed program loses at most the row being written. A regular file is
// opened anew for each row: a folder that was removed, a file that was deleted
// or replaced, or permission taken away is then reported on the next row instead
// of rows vanishing into a file nobody can see any more. A row that could be
// written only in part is cut off again, so the file holds whole lines only.
// Failures are reported, never thrown.
//
// Log rotation (a run that can be told to reopen its file): the rotating tool
// renames the file away, then says so. Rows written in between go on into the
// renamed file, which is held open for this; Reopen() then starts the file anew
// at its path, with its header. A held file that was deleted still fails. A tool
// that copies the file and empties it in place instead leaves it empty: the next
// row finds it so and begins it with the header again. A file cut inside a row
// gets the line end that row lacks before the next one.
#pragma once

#include <cstdint>
#include <string>

namespace tally {

// What is already in a file decides whether the log may go into it.
struct HeaderCheck {
    enum class Verdict { WriteHeader, Append, Refuse };
    Verdict verdict = Verdict::WriteHeader;
    // Append: the last line has no line end yet (a row cut short by a crash).
    bool needsLineEnd = false;
    std::string reason;  // Refuse: why, for the operator
};

// A missing or empty file gets the header; one that starts with the same header,
// or with a row of this log (its header lost when it was emptied under a running
// log), is appended to; anything else is refused, so columns are never mixed.
// Devices and pipes are not read: they get the header.
HeaderCheck CheckLogHeader(const std::string& path);

class LogFile {
  public:
    LogFile() = default;
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Opens the log at `path` ("-" is standard output) after CheckLogHeader.
    // Empty on success, otherwise why not. The header, where one is due, goes
    // out with the first row, in the same write: a run without rows leaves an
    // empty file, and a file that cannot take a row is reported as such.
    std::string Open(const std::string& path);
    // One whole line; false (with Error()) when it could not be written.
    bool Write(const std::string& line);
    void Close();

    // Set before Open(): a regular file renamed away keeps taking rows until Reopen().
    void SetRotatable(bool rotatable) { rotatable_ = rotatable; }
    // Closes the file and opens its path again, as Open() does: a new file gets
    // the header with its first row. Standard output, a device or a pipe stays
    // as it is. Empty on success, otherwise why not (the log is then closed).
    std::string Reopen();

    const std::string& Error() const { return error_; }

  private:
    bool fail(const std::string& what, int error);
    bool writeAll(int fd, const std::string& bytes);
    bool writeRegular(const std::string& line);
    bool appendWhole(int fd, const std::string& line, std::int64_t size, bool atPath);
    std::string leadFor(std::int64_t size, bool atPath) const;
    bool renamedAway() const;

    std::string path_;
    std::string error_;
    // Written before the next line: the header, or the line end a cut-off row lacks.
    std::string pending_;
    bool open_ = false;
    // Standard output, a device or a pipe: kept open. A regular file: -1.
    int fd_ = -1;
    bool ownsFd_ = false;
    // The regular file's identity, to notice it being deleted or replaced.
    std::uint64_t device_ = 0;
    std::uint64_t inode_ = 0;
    // The regular file's size as this log last left it: a smaller one was cut.
    std::int64_t end_ = 0;
    bool rotatable_ = false;
    // A rotatable regular file, held open to take rows after it was renamed away.
    int heldFd_ = -1;
};

}  // namespace tally
