// The message box every part of the tool reports through: OK only, caption "Velquin", one of three icons.
#pragma once

#include <string>
#include <vector>

namespace velquin::common {

/// Icons by the values of the system message box flags.
enum class MessageIcon
{
    None = 0,
    Critical = 16,
    Information = 64,
};

class MessageBox
{
public:
    virtual ~MessageBox() = default;
    /// Shows `text` modally and returns when the user has dismissed it.
    virtual void show(const std::string& text, MessageIcon icon) = 0;
};

/// Records what would have been shown, for tests.
class RecordingMessageBox : public MessageBox
{
public:
    struct Shown
    {
        std::string text;
        MessageIcon icon = MessageIcon::None;
        bool operator==(const Shown&) const = default;
    };

    void show(const std::string& text, MessageIcon icon) override { m_shown.push_back({text, icon}); }
    const std::vector<Shown>& shown() const { return m_shown; }
    void clear() { m_shown.clear(); }

private:
    std::vector<Shown> m_shown;
};

} // namespace velquin::common
