// The passwords of one batch: a password that opened one workbook is offered first for the next ones.
#pragma once

#include "convert/automation/Automation.h"

#include <optional>
#include <string>

namespace velquin::convert {

/// Stands between Open and the user's password source for one batch. The first ask for a workbook gives the
/// password that opened the batch's last encrypted workbook, when there is one, without asking; only when that one
/// does not fit is the user asked (as for a first try). Asks come one workbook at a time, in the order Open runs.
class BatchPasswords : public PasswordSource
{
public:
    explicit BatchPasswords(PasswordSource* user = nullptr) : m_user(user) {}
    /// Starts a new batch: nothing is remembered.
    void reset(PasswordSource* user) { *this = BatchPasswords(user); }
    std::optional<std::string> ask(const std::string& path, bool lastFailed) override;
    /// Whether the user, asked for the current workbook for the first time, gave no password (Cancel). Open then
    /// failed for want of a password, even when the remembered one was tried before.
    bool userCancelled() const { return m_userCancelled; }

private:
    std::optional<std::string> give(std::optional<std::string> password);
    std::optional<std::string> askUser(const std::string& path, bool lastFailed);

    PasswordSource* m_user = nullptr;
    std::optional<std::string> m_remembered;
    std::optional<std::string> m_lastGiven;
    bool m_offeredRemembered = false;
    bool m_userCancelled = false;
};

} // namespace velquin::convert
