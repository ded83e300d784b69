#include "log/log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "log/log_row.h"

namespace tally {
namespace {

std::string describe(const std::string& path, int error) {
    return path + ": " + std::strerror(error);
}

// The file's first line (without its line end) and whether its last byte ends a line.
struct FileStart {
    std::string firstLine;
    bool endsWithLineEnd = false;
    int error = 0;
};

FileStart readStart(int fd, off_t size) {
    FileStart start;
    // The header is about 300 bytes; more than this cannot be the same header.
    char buffer[1024];
    const ssize_t got = ::pread(fd, buffer, sizeof buffer, 0);
    if (got < 0) {
        start.error = errno;
        return start;
    }
    std::string text(buffer, static_cast<std::size_t>(got));
    const auto lineEnd = text.find('\n');
    start.firstLine = text.substr(0, lineEnd);
    if (!start.firstLine.empty() && start.firstLine.back() == '\r') start.firstLine.pop_back();
    char last = 0;
    if (::pread(fd, &last, 1, size - 1) != 1) {
        start.error = errno != 0 ? errno : EIO;
        return start;
    }
    start.endsWithLineEnd = last == '\n';
    return start;
}

}  // namespace

HeaderCheck CheckLogHeader(const std::string& path) {
    HeaderCheck check;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return check;  // a new file (or opening says why not)
    if (S_ISDIR(info.st_mode)) {
        check.verdict = HeaderCheck::Verdict::Refuse;
        check.reason = path + " is a folder; choose a file";
        return check;
    }
    if (!S_ISREG(info.st_mode) || info.st_size == 0) return check;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        check.verdict = HeaderCheck::Verdict::Refuse;
        check.reason = describe(path, errno);
        return check;
    }
    const FileStart start = readStart(fd, info.st_size);
    ::close(fd);
    if (start.error != 0) {
        check.verdict = HeaderCheck::Verdict::Refuse;
        check.reason = describe(path, start.error);
    } else if (start.firstLine == LogHeader() || IsLogRow(start.firstLine)) {
        check.verdict = HeaderCheck::Verdict::Append;
        check.needsLineEnd = !start.endsWithLineEnd;
    } else {
        check.verdict = HeaderCheck::Verdict::Refuse;
        check.reason = path +
                       " holds other columns than this log writes; choose a new file or a counter "
                       "log written by this program";
    }
    return check;
}

LogFile::~LogFile() {
    Close();
}

std::string LogFile::Open(const std::string& path) {
    Close();
    path_ = path;
    error_.clear();
    pending_ = LogHeader() + "\r\n";
    if (path == "-") {
        fd_ = STDOUT_FILENO;
        ownsFd_ = false;
    } else {
        const HeaderCheck check = CheckLogHeader(path);
        if (check.verdict == HeaderCheck::Verdict::Refuse) return error_ = check.reason;
        if (check.verdict == HeaderCheck::Verdict::Append) {
            pending_ = check.needsLineEnd ? "\r\n" : "";
        }
        // Non-blocking, so a pipe with no reader fails instead of hanging the program.
        const int fd =
            ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
        if (fd < 0) return error_ = describe(path, errno);
        struct stat info {};
        if (::fstat(fd, &info) != 0) {
            const int error = errno;
            ::close(fd);
            return error_ = describe(path, error);
        }
        if (S_ISREG(info.st_mode)) {
            device_ = static_cast<std::uint64_t>(info.st_dev);
            inode_ = static_cast<std::uint64_t>(info.st_ino);
            end_ = static_cast<std::int64_t>(info.st_size);
            if (rotatable_) {
                heldFd_ = fd;
            } else {
                ::close(fd);
            }
        } else {
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
            fd_ = fd;
            ownsFd_ = true;
        }
    }
    open_ = true;
    return std::string();
}

bool LogFile::Write(const std::string& line) {
    if (!open_) {
        error_ = path_ + ": the log is not open";
        return false;
    }
    const bool written =
        fd_ >= 0 ? writeAll(fd_, pending_ + line) || fail(path_, errno) : writeRegular(line);
    if (written) pending_.clear();
    return written;
}

bool LogFile::writeRegular(const std::string& line) {
    // No O_CREAT: a log file that disappeared is reported, not silently begun
    // again without its header.
    const int fd = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        // Renamed away, and nothing in its place yet: rotation under way.
        if (error == ENOENT && renamedAway()) return appendWhole(heldFd_, line, -1, false);
        return fail(path_, error);
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        return fail(path_, error);
    }
    if (static_cast<std::uint64_t>(info.st_dev) != device_ ||
        static_cast<std::uint64_t>(info.st_ino) != inode_) {
        ::close(fd);
        // Renamed away, a new file already in its place: rotation under way.
        if (renamedAway()) return appendWhole(heldFd_, line, -1, false);
        error_ = path_ + ": the file was replaced by another one";
        open_ = false;
        return false;
    }
    if (!appendWhole(fd, line, info.st_size, true)) {
        ::close(fd);
        return false;
    }
    if (::close(fd) != 0) return fail(path_, errno);
    return true;
}

bool LogFile::appendWhole(int fd, const std::string& line, std::int64_t size, bool atPath) {
    if (size < 0) {
        struct stat info {};
        if (::fstat(fd, &info) != 0) return fail(path_, errno);
        size = info.st_size;
    }
    const std::string bytes = leadFor(size, atPath) + line;
    if (writeAll(fd, bytes)) {
        end_ = size + static_cast<std::int64_t>(bytes.size());
        return true;
    }
    const int error = errno;
    // Whatever part of the row got in is cut off again.
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0) {
        // Nothing more can be done; the error that counts is the write's.
    }
    return fail(path_, error);
}

// What goes before the next row in the file, now `size` bytes long: the header
// in an empty file, however it became empty (a rotating tool empties it in
// place); the line end a row lacks where the file was cut inside it (the file
// at the path is read for that); otherwise what Open() found due.
std::string LogFile::leadFor(std::int64_t size, bool atPath) const {
    if (size == 0) return LogHeader() + "\r\n";
    if (size >= end_ || !atPath) return pending_;
    char last = 0;
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    const bool read = fd >= 0 && ::pread(fd, &last, 1, static_cast<off_t>(size - 1)) == 1;
    if (fd >= 0) ::close(fd);
    // Unreadable: an empty line is better than two rows run together.
    return read && last == '\n' ? std::string() : "\r\n";
}

// The held file still has a name somewhere (a deleted one has none).
bool LogFile::renamedAway() const {
    struct stat info {};
    return heldFd_ >= 0 && ::fstat(heldFd_, &info) == 0 && info.st_nlink > 0;
}

std::string LogFile::Reopen() {
    if (path_ == "-" || ownsFd_) return std::string();
    return Open(path_);
}

bool LogFile::writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool LogFile::fail(const std::string& what, int error) {
    error_ = describe(what, error);
    open_ = false;
    return false;
}

void LogFile::Close() {
    if (heldFd_ >= 0) ::close(heldFd_);
    heldFd_ = -1;
    if (ownsFd_ && fd_ >= 0) ::close(fd_);
    fd_ = -1;
    ownsFd_ = false;
    open_ = false;
}

}  // namespace tally
