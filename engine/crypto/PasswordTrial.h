// Finding the password of an encrypted workbook: the built-in default first, then those the caller supplies.
#pragma once

#include "engine/Error.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace velquin::engine {

/// Gives the next password to try for the workbook being opened, or nothing to give up. `lastFailed` is true when
/// the password given before did not open it. Called on the thread that opens the workbook.
using PasswordPrompt = std::function<std::optional<std::string>(bool lastFailed)>;

/// The details of EncryptedWorkbook: no password was given, or none of those given fits.
inline constexpr std::string_view kPasswordNeeded = "A password is needed.";
inline constexpr std::string_view kPasswordWrong = "The password does not open it.";

namespace crypto {

/// Checks one password: sets `fits` when it opens the workbook. An error stops the search.
using PasswordCheck = std::function<Status(const std::string& password, bool& fits)>;

/// Tries the default password, then each one `prompt` gives, until `check` accepts one, which is left in `found`.
/// Errors: EncryptedWorkbook ("A password is needed." when none was given, "The password does not open it."
/// otherwise), Timeout, and the errors of `check`.
Status findPassword(const PasswordPrompt& prompt, const PasswordCheck& check, std::string& found);

} // namespace crypto
} // namespace velquin::engine
