// The three state files: the input list "EXCEL.txt", the output directories "output.txt" and the two flags of
// "set.txt", read and written as CR LF text in one folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velquin::common {
class MessageBox;
}

namespace velquin::state {

inline constexpr const char* kInputListFile = "EXCEL.txt";
inline constexpr const char* kOutputListFile = "output.txt";
inline constexpr const char* kSettingsFile = "set.txt";
/// "output.txt" keeps the entries at indices 0 to 200.
inline constexpr std::size_t kMaxSavedOutputs = 201;

struct SavedLists
{
    std::vector<std::string> inputs;
    std::vector<std::string> outputs;
};

struct SettingFlags
{
    bool saveInputList = false;  ///< line 1 of "set.txt" is exactly "1"
    bool saveOutputList = false; ///< line 2 of "set.txt" is exactly "1"
    bool operator==(const SettingFlags&) const = default;
};

/// Lines of a state file: CR LF or a lone CR ends a line, a lone LF stays in the value, a last line without
/// terminator counts, an empty line is an empty value, and an empty text holds no lines.
std::vector<std::string> splitLines(std::string_view text);
/// Each value followed by CR LF.
std::string joinLines(const std::vector<std::string>& values, std::size_t limit = SIZE_MAX);

/// Where the state files live: the application folder when it is writable (a portable copy keeps everything
/// beside the executable); otherwise the per-user configuration folder, $XDG_CONFIG_HOME/velquin or
/// $HOME/.config/velquin, created when missing. `xdgConfigHome` and `home` may be null.
std::string chooseStateFolder(const std::string& applicationPath, const char* xdgConfigHome, const char* home);

class StateFiles
{
public:
    /// `messageBox` is told, with a critical message naming the file, when a file cannot be written.
    StateFiles(std::string folder, common::MessageBox* messageBox);

    const std::string& folder() const { return m_folder; }
    std::string pathOf(std::string_view name) const;

    /// Both lists as saved; a missing or unreadable file reads as empty.
    SavedLists LoadLists() const;
    /// Writes "EXCEL.txt" when flag 1 is on and "output.txt" (at most 201 entries) when flag 2 is on; a file whose
    /// flag is off is left untouched.
    void SaveLists(const SavedLists& lists) const;
    SettingFlags ReadSettingFlags() const;
    /// Writes "set.txt" as two lines, "1" or "0" each. False (after telling the user) when it could not be written.
    bool WriteSettingFlags(bool check1, bool check2) const;

    /// The values of one file's lines; none when the file is missing or unreadable.
    std::vector<std::string> readLines(std::string_view name) const;
    /// Replaces one file with these lines. The text goes to a temporary file first and is renamed over the old
    /// one, so a crash or a full disk never leaves a truncated list. False after telling the user.
    bool writeLines(std::string_view name, const std::vector<std::string>& values, std::size_t limit = SIZE_MAX) const;

private:
    std::string m_folder;
    common::MessageBox* m_messageBox;
};

} // namespace velquin::state
