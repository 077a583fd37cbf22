// Outcome of a CCommonDialogs Show... call: confirmed, cancelled, or an error the caller has to deal with.
#pragma once

#include <cstdint>
#include <string_view>

namespace velquin::dialogs {

/// Error numbers of the dialog class; the numbers are those the runtime gives for the same faults.
enum class DialogErrc : std::int32_t
{
    None = 0,
    InvalidArgument = 5, ///< a property holds a value the dialog cannot take (a file name over 260 characters)
    NoOwner = 91,        ///< Init was not called: there is no window to own the dialog
};

std::string_view describe(DialogErrc code);

/// Converts to true only when the user confirmed a choice; cancel and errors are both false, and error() tells
/// them apart.
class [[nodiscard]] DialogResult
{
public:
    static DialogResult confirmed() { return DialogResult(true, DialogErrc::None); }
    static DialogResult cancelled() { return DialogResult(false, DialogErrc::None); }
    static DialogResult failed(DialogErrc code) { return DialogResult(false, code); }
    static DialogResult fromAnswer(bool confirmedByUser) { return confirmedByUser ? confirmed() : cancelled(); }

    explicit operator bool() const { return m_confirmed; }
    DialogErrc error() const { return m_error; }
    std::string_view description() const { return describe(m_error); }

private:
    DialogResult(bool confirmedByUser, DialogErrc code) : m_confirmed(confirmedByUser), m_error(code) {}

    bool m_confirmed;
    DialogErrc m_error;
};

} // namespace velquin::dialogs
