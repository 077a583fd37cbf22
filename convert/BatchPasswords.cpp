// Remembering the password that opened a workbook for the rest of the batch.
#include "convert/BatchPasswords.h"

namespace velquin::convert {

std::optional<std::string> BatchPasswords::give(std::optional<std::string> password)
{
    m_lastGiven = password;
    return password;
}

std::optional<std::string> BatchPasswords::askUser(const std::string& path, bool lastFailed)
{
    std::optional<std::string> password = m_user ? m_user->ask(path, lastFailed) : std::nullopt;
    m_userCancelled = !password && !lastFailed;
    return give(std::move(password));
}

std::optional<std::string> BatchPasswords::ask(const std::string& path, bool lastFailed)
{
    if (!lastFailed)
    {
        // A new workbook. Open asks again only after a password failed, so the one given last opened its workbook.
        if (m_lastGiven)
            m_remembered = m_lastGiven;
        m_lastGiven.reset();
        m_userCancelled = false;
        m_offeredRemembered = m_remembered.has_value();
        if (m_remembered)
            return give(m_remembered);
        return askUser(path, false);
    }
    // The remembered password did not fit: this is the user's first try at this workbook, not a failed one.
    const bool userFailed = !m_offeredRemembered;
    m_offeredRemembered = false;
    return askUser(path, userFailed);
}

} // namespace velquin::convert
