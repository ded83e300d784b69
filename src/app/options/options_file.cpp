#include "app/options/options_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tally {
namespace {

// Far beyond any list of options; keeps a wrong path such as /dev/zero from
// being read for ever.
constexpr std::size_t kMaxBytes = 1 << 20;

const char* const kBlanks = " \t\r\f\v";

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

}  // namespace

OptionsFile ParseOptionsFile(const std::string& name, const std::string& text) {
    OptionsFile file;
    // An editor's byte order mark is not part of the first option's name.
    std::size_t start = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    for (int number = 1; start <= text.size(); ++number) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string line = trimmed(text.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line[0] == '#') continue;
        const auto fail = [&](const std::string& why) {
            file.error = name + ":" + std::to_string(number) + ": " + why;
            file.lines.clear();
            return file;
        };
        if (line.find('\0') != std::string::npos) return fail("the line holds a NUL character");
        const std::size_t blank = line.find_first_of(kBlanks);
        std::string option = line.substr(0, blank);
        // Copied from a command line, the dashes are no harm.
        if (option.rfind("--", 0) == 0) option.erase(0, 2);
        if (option.empty() || option[0] == '-') {
            return fail("write the option's name without dashes, as in \"port 1\"");
        }
        const std::string value =
            blank == std::string::npos ? std::string() : trimmed(line.substr(blank));
        file.lines.push_back({number, "--" + option + (value.empty() ? "" : "=" + value)});
    }
    return file;
}

OptionsFile ReadOptionsFile(const std::string& path) {
    OptionsFile file;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        file.error = path + ": " + std::strerror(errno);
        return file;
    }
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            file.error = path + ": " + std::strerror(errno);
            break;
        }
        if (got == 0) break;
        text.append(buffer, static_cast<std::size_t>(got));
        if (text.size() > kMaxBytes) {
            file.error = path + ": larger than an options file can be (1 MiB)";
            break;
        }
    }
    ::close(fd);
    return file.error.empty() ? ParseOptionsFile(path, text) : file;
}

}  // namespace tally
