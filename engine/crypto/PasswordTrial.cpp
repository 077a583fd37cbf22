// The password search shared by every encryption method.
#include "engine/crypto/PasswordTrial.h"

#include "engine/Deadline.h"
#include "engine/crypto/PasswordKeys.h"

namespace velquin::engine::crypto {

Status findPassword(const PasswordPrompt& prompt, const PasswordCheck& check, std::string& found)
{
    bool fits = false;
    if (Status status = check(std::string(kDefaultPassword), fits); !status)
        return status;
    if (fits)
    {
        found = kDefaultPassword;
        return {};
    }
    bool given = false;
    bool lastFailed = false;
    while (prompt)
    {
        if (Status status = checkDeadline(); !status)
            return status;
        std::optional<std::string> password = prompt(lastFailed);
        if (!password)
            break;
        given = true;
        if (Status status = check(*password, fits); !status)
            return status;
        if (fits)
        {
            found = std::move(*password);
            return {};
        }
        lastFailed = true;
    }
    return {EngineErrc::EncryptedWorkbook, std::string(given ? kPasswordWrong : kPasswordNeeded)};
}

} // namespace velquin::engine::crypto
