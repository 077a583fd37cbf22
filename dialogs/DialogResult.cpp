// Descriptions of the dialog class's error numbers.
#include "dialogs/DialogResult.h"

namespace velquin::dialogs {

std::string_view describe(DialogErrc code)
{
    switch (code)
    {
    case DialogErrc::None:
        return "No error";
    case DialogErrc::InvalidArgument:
        return "Invalid procedure call or argument";
    case DialogErrc::NoOwner:
        return "Object variable or With block variable not set";
    }
    return "Unknown error";
}

} // namespace velquin::dialogs
