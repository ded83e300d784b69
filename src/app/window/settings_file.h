// The settings file "InitialVL4300.ini" beside the executable: reading its text,
// looking up one value, building the fixed layout and replacing the file.
//
// No Qt here: the window turns controls into SettingsValues and ParsedSettings
// back into controls. Text is kept as bytes, so every byte 0-255 round-trips.
#pragma once

#include <array>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tally {

// Run-time file error codes shown in the "Error Message" box.
inline constexpr int kSettingsReadPastEnd = 62;
inline constexpr int kSettingsPermissionDenied = 70;
inline constexpr int kSettingsAccessError = 75;

// Positions inside the settings text are 16-bit: a match must start at or
// before this 1-based position to be found.
inline constexpr std::size_t kSettingsSearchLimit = 32767;
// A lookup never looks past this many characters (the CR LF CR LF that ends a
// section may start at the search limit), so the reader keeps no more.
inline constexpr std::size_t kSettingsTextKeep = kSettingsSearchLimit + 3;

struct SettingsReadResult {
    std::string text;   // empty when the file is missing or unreadable
    int errorCode = 0;  // 0 = read or missing; otherwise 62, 70 or 75
};

// folder of the executable + the platform separator + "InitialVL4300.ini"
std::filesystem::path SettingsFilePath(const std::filesystem::path& appDir);

// The file's content as the settings text: the first line's data item (blanks
// skipped, ends at a comma or the line end, a quoted item without its quotes),
// then every further line followed by CR LF. Only the first kSettingsTextKeep
// characters are kept; the rest of the file is never loaded.
SettingsReadResult ReadSettingsText(const std::filesystem::path& file);

// The same reading rule over bytes already in memory (a missing file is the caller's
// business); an empty input is error 62.
SettingsReadResult SettingsTextFromBytes(std::string_view bytes);

// errno of a failed open or read, as a run-time file error code (70 or 75).
int SettingsErrorCode(int errnoValue);

// The value of key in section, or "" when a step fails: the section or key is
// absent, no CR LF CR LF ends the section, no CR LF ends the value, a value of
// fewer than two characters is to be unquoted, or a position passes the limit.
// Unquote drops the value's first and last character, whatever they are.
std::string LookupSetting(std::string_view text, std::string_view section, std::string_view key,
                          bool unquote);

// What the window's controls hold when it unloads.
struct SettingsValues {
    std::string comm;     // cmbCOMM text
    std::string station;  // cmbStation text
    std::string baud;     // cmbBaud text
    int dc = 0;           // chkDC value 0, 1 or 2
    int di = 0;
    int do_ = 0;
    std::string every;                    // txtAutoRead text
    std::array<std::string, 8> multiply;  // txtCTMulti 0..7 texts
};

// The complete 28-line file, every line ending in CR LF.
std::string BuildSettingsText(const SettingsValues& values);

// What ApplySettings gives each control; nullopt leaves the control as it is.
// Text fields take any value, the empty one included. A check box takes only
// 0, 1 or 2. The rate is set only when non-empty; the window still checks that
// its list holds it.
struct ParsedSettings {
    std::optional<std::string> comm;
    std::optional<std::string> station;
    std::optional<std::string> baud;
    std::optional<int> dc;
    std::optional<int> di;
    std::optional<int> do_;
    std::optional<std::string> every;
    std::array<std::optional<std::string>, 8> multiply;
};

// Empty text: nothing is applied.
ParsedSettings ParseSettings(std::string_view text);

// Replaces the file with text: written to a temporary file beside it, flushed to
// disk, then renamed over the old one, so a failure leaves the old file whole.
// The old file's permissions are kept; a read-only file is not replaced; a
// symbolic link stays a link and the file it leads to is replaced.
// Returns "" on success, otherwise why the settings were not saved.
std::string WriteSettingsFile(const std::filesystem::path& file, const std::string& text);

}  // namespace tally
