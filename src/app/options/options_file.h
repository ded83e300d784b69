// The options of a run kept in a file (--options-file), for a run started by the
// system rather than typed: one option a line, written as on the command line
// without the leading dashes ("port 1", "station 1-8", "headless").
//
// Lines whose first non-blank character is "#" and blank lines are skipped;
// blanks around the name and the value are dropped. A "#" after the start of a
// line belongs to the value (a password or a URL may hold one). The value is the
// rest of the line as written: no quoting, so a path may hold spaces.
//
// Only the lines are taken apart here; every value is checked by the command
// line's own table, as if it had been typed.
#pragma once

#include <string>
#include <vector>

namespace tally {

struct OptionsFileLine {
    int number = 0;   // 1 for the file's first line
    std::string arg;  // "--port=1", or "--headless" for a line without a value
};

struct OptionsFile {
    std::vector<OptionsFileLine> lines;
    std::string error;  // "FILE:LINE: why", or "FILE: why"; empty when the file was taken
};

// The options in `text`, the contents of the file `name` (for the messages).
OptionsFile ParseOptionsFile(const std::string& name, const std::string& text);

// Reads and parses the file; an unreadable or oversized file gives its reason.
OptionsFile ReadOptionsFile(const std::string& path);

}  // namespace tally
