#include "app/window/settings_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <system_error>

#include "numbers/number_text.h"

#include <fcntl.h>
#include <unistd.h>

namespace tally {
namespace {

constexpr int kEnd = -1;
constexpr const char* kCrLf = "\r\n";

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

FilePtr openFile(const std::filesystem::path& file, const char* mode) {
    return FilePtr(std::fopen(file.c_str(), mode));
}

// Bytes one at a time from a file, through a fixed buffer.
class FileSource {
  public:
    explicit FileSource(std::FILE* file) : m_file(file) {}
    int get() {
        if (m_pos == m_size) {
            m_size = std::fread(m_buffer, 1, sizeof m_buffer, m_file);
            m_pos = 0;
            if (m_size == 0) {
                if (std::ferror(m_file)) m_errno = errno;
                return kEnd;
            }
        }
        return static_cast<unsigned char>(m_buffer[m_pos++]);
    }
    int error() const { return m_errno; }

  private:
    std::FILE* m_file;
    char m_buffer[65536];
    std::size_t m_size = 0;
    std::size_t m_pos = 0;
    int m_errno = 0;
};

class MemorySource {
  public:
    explicit MemorySource(std::string_view bytes) : m_bytes(bytes) {}
    int get() {
        return m_pos < m_bytes.size() ? static_cast<unsigned char>(m_bytes[m_pos++]) : kEnd;
    }
    int error() const { return 0; }

  private:
    std::string_view m_bytes;
    std::size_t m_pos = 0;
};

bool isBlank(int c) {
    return c == ' ' || c == '\t';
}
bool isLineEnd(int c) {
    return c == '\r' || c == '\n';
}

// Consumes a line end starting with c (CR LF, a lone CR or a lone LF) and
// returns the byte after it.
template <class Source>
int skipLineEnd(Source& in, int c) {
    if (c == '\r') {
        c = in.get();
        if (c == '\n') c = in.get();
        return c;
    }
    return c == '\n' ? in.get() : c;
}

template <class Source>
SettingsReadResult buildText(Source& in) {
    SettingsReadResult result;
    std::string& out = result.text;
    int c = in.get();
    if (c == kEnd) {
        result.errorCode = in.error() ? SettingsErrorCode(in.error()) : kSettingsReadPastEnd;
        return result;
    }

    // First line: one data item.
    while (isBlank(c))
        c = in.get();
    if (c == '"') {
        c = in.get();
        while (c != kEnd && c != '"' && !isLineEnd(c) && out.size() < kSettingsTextKeep) {
            out += static_cast<char>(c);
            c = in.get();
        }
        if (c == '"') {
            c = in.get();
            while (isBlank(c))
                c = in.get();
        }
    } else {
        while (c != kEnd && c != ',' && !isLineEnd(c) && out.size() < kSettingsTextKeep) {
            out += static_cast<char>(c);
            c = in.get();
        }
    }
    c = c == ',' ? in.get() : skipLineEnd(in, c);

    // Every further line, the rest of the first one included, with CR LF.
    while (c != kEnd && out.size() < kSettingsTextKeep) {
        while (c != kEnd && !isLineEnd(c) && out.size() < kSettingsTextKeep) {
            out += static_cast<char>(c);
            c = in.get();
        }
        c = skipLineEnd(in, c);
        out += kCrLf;
    }
    if (out.size() > kSettingsTextKeep) out.resize(kSettingsTextKeep);

    if (in.error()) {
        result.text.clear();
        result.errorCode = SettingsErrorCode(in.error());
    }
    return result;
}

bool withinLimit(std::size_t zeroBasedPosition) {
    return zeroBasedPosition + 1 <= kSettingsSearchLimit;
}

std::string lastError(const char* what, const std::filesystem::path& file, int error) {
    return std::string(what) + " " + file.string() + ": " + std::strerror(error);
}

bool syncToDisk(std::FILE* f) {
    return ::fsync(fileno(f)) == 0;
}

// The rename itself must survive a crash too.
void syncFolder(const std::filesystem::path& folder) {
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// A link stays a link: the file to replace is the one it leads to.
std::filesystem::path linkTarget(std::filesystem::path file, std::error_code& error) {
    for (int hops = 0; std::filesystem::is_symlink(std::filesystem::symlink_status(file)); ++hops) {
        if (hops == 40) {
            error = std::make_error_code(std::errc::too_many_symbolic_link_levels);
            break;
        }
        const std::filesystem::path next = std::filesystem::read_symlink(file, error);
        if (error) break;
        file = next.is_absolute() ? next : file.parent_path() / next;
    }
    return file;
}

// Made read-only on purpose: no write permission for anyone (a superuser would
// still be let through), or none for this user.
bool readOnly(const std::filesystem::path& file, std::filesystem::perms mode) {
    using std::filesystem::perms;
    if ((mode & (perms::owner_write | perms::group_write | perms::others_write)) == perms::none)
        return true;
    return ::access(file.c_str(), W_OK) != 0 && errno != ENOENT;
}

std::optional<int> checkBoxValue(std::string_view value) {
    const auto number = ToWholeNumber16(value);
    if (!number || *number < 0 || *number > 2) return std::nullopt;
    return *number;
}

}  // namespace

std::filesystem::path SettingsFilePath(const std::filesystem::path& appDir) {
    return appDir / "InitialVL4300.ini";
}

int SettingsErrorCode(int errnoValue) {
    return errnoValue == EACCES || errnoValue == EPERM ? kSettingsPermissionDenied
                                                       : kSettingsAccessError;
}

SettingsReadResult SettingsTextFromBytes(std::string_view bytes) {
    MemorySource source(bytes);
    return buildText(source);
}

SettingsReadResult ReadSettingsText(const std::filesystem::path& file) {
    errno = 0;
    const FilePtr f = openFile(file, "rb");
    if (!f) {
        const int error = errno;
        if (error == ENOENT) return {};
        return {std::string(), SettingsErrorCode(error)};
    }
    // The buffer is large; keep it off the stack.
    const auto source = std::make_unique<FileSource>(f.get());
    return buildText(*source);
}

std::string LookupSetting(std::string_view text, std::string_view section, std::string_view key,
                          bool unquote) {
    const std::string header = "[" + std::string(section) + "]";
    const std::size_t headerAt = text.find(header);
    if (headerAt == std::string_view::npos || !withinLimit(headerAt)) return {};
    const std::size_t bodyStart = headerAt + header.size();
    if (!withinLimit(bodyStart)) return {};
    const std::size_t bodyEnd = text.find("\r\n\r\n", bodyStart);
    if (bodyEnd == std::string_view::npos || !withinLimit(bodyEnd)) return {};
    const std::string_view body = text.substr(bodyStart, bodyEnd + 2 - bodyStart);

    const std::string name = std::string(key) + "=";
    const std::size_t keyAt = body.find(name);
    if (keyAt == std::string_view::npos) return {};
    const std::size_t valueStart = keyAt + name.size();
    const std::size_t valueEnd = body.find(kCrLf, valueStart);
    if (valueEnd == std::string_view::npos) return {};
    std::string_view value = body.substr(valueStart, valueEnd - valueStart);
    if (unquote) {
        if (value.size() < 2) return {};
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
}

std::string BuildSettingsText(const SettingsValues& v) {
    std::string text;
    const auto line = [&text](std::string_view a, std::string_view b = {},
                              std::string_view c = {}) {
        text.append(a).append(b).append(c).append(kCrLf);
    };
    line("[KORVI]");
    line("");
    line("[Common]");
    line("Model=\"VL4300\"");
    line("FileType=\"InitialFile\"");
    line("Version=\"1.0.0\"");
    line("");
    line("[PortCFG]");
    line("Comm=\"", v.comm, "\"");
    line("StationNo=\"", v.station, "\"");
    line("BaudRate=\"", v.baud, "\"");
    line("");
    line("[Read Setting]");
    line("DC=", std::to_string(v.dc));
    line("DI=", std::to_string(v.di));
    line("DO=", std::to_string(v.do_));
    line("Every=", v.every);
    line("");
    line("[Multiply]");
    for (std::size_t n = 0; n < v.multiply.size(); ++n) {
        line("Multiply" + std::to_string(n + 1) + "=", v.multiply[n]);
    }
    line("");
    return text;
}

ParsedSettings ParseSettings(std::string_view text) {
    ParsedSettings parsed;
    if (text.empty()) return parsed;
    parsed.comm = LookupSetting(text, "PortCFG", "Comm", true);
    parsed.station = LookupSetting(text, "PortCFG", "StationNo", true);
    std::string baud = LookupSetting(text, "PortCFG", "BaudRate", true);
    if (!baud.empty()) parsed.baud = std::move(baud);
    parsed.dc = checkBoxValue(LookupSetting(text, "Read Setting", "DC", false));
    parsed.di = checkBoxValue(LookupSetting(text, "Read Setting", "DI", false));
    parsed.do_ = checkBoxValue(LookupSetting(text, "Read Setting", "DO", false));
    parsed.every = LookupSetting(text, "Read Setting", "Every", false);
    for (std::size_t n = 0; n < parsed.multiply.size(); ++n) {
        parsed.multiply[n] =
            LookupSetting(text, "Multiply", "Multiply" + std::to_string(n + 1), false);
    }
    return parsed;
}

std::string WriteSettingsFile(const std::filesystem::path& settingsFile, const std::string& text) {
    std::error_code linkError;
    const std::filesystem::path file = linkTarget(settingsFile, linkError);
    if (linkError) {
        return "Settings not saved: cannot follow " + settingsFile.string() + ": " +
               linkError.message();
    }
    std::error_code statusError;
    const std::filesystem::file_status old = std::filesystem::status(file, statusError);
    const bool replacing = std::filesystem::exists(old);
    if (replacing && readOnly(file, old.permissions()))
        return "Settings not saved: cannot replace " + file.string() + ": the file is read-only";

    std::filesystem::path temporary = file;
    temporary += ".tmp";
    {
        // A temporary file left by a crash goes; one that is a link is never written through.
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        errno = 0;
        FilePtr f = openFile(temporary, "wb");
        if (!f) return lastError("Settings not saved: cannot create", temporary, errno);
        // The new file gets the old one's permissions before it holds anything.
        if (replacing) std::filesystem::permissions(temporary, old.permissions(), ignored);
        const bool written = std::fwrite(text.data(), 1, text.size(), f.get()) == text.size() &&
                             std::fflush(f.get()) == 0 && syncToDisk(f.get());
        const int error = errno;
        const bool closed = std::fclose(f.release()) == 0;
        if (!written || !closed) {
            const int reported = written ? errno : error;
            std::filesystem::remove(temporary, ignored);
            return lastError("Settings not saved: cannot write", temporary, reported);
        }
    }
    std::error_code renameError;
    std::filesystem::rename(temporary, file, renameError);
    if (renameError) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        return "Settings not saved: cannot replace " + file.string() + ": " + renameError.message();
    }
    syncFolder(file.parent_path());
    return {};
}

}  // namespace tally
