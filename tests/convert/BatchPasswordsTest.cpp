// The passwords of one batch: the one that opened a workbook is offered first to the next ones.
#include "convert/BatchPasswords.h"

#include <gtest/gtest.h>

namespace velquin::convert {
namespace {

/// The user: answers in order and records each question as "path" or "path again" after a failed password.
struct ScriptedUser : PasswordSource
{
    std::vector<std::optional<std::string>> answers;
    std::vector<std::string> asked;

    std::optional<std::string> ask(const std::string& path, bool lastFailed) override
    {
        asked.push_back(lastFailed ? path + " again" : path);
        if (asked.size() > answers.size())
            return std::nullopt;
        return answers[asked.size() - 1];
    }
};

TEST(BatchPasswords, OfferTheLastPasswordThatFittedBeforeAskingTheUser)
{
    ScriptedUser user;
    user.answers = {"one", "two", std::nullopt};
    BatchPasswords batch(&user);
    EXPECT_EQ(batch.ask("a.xls", false), "one");
    // a.xls opened with "one": b.xls gets it without a question.
    EXPECT_EQ(batch.ask("b.xls", false), "one");
    // It did not fit: the user is asked as for a first try, then told the typed one failed.
    EXPECT_EQ(batch.ask("b.xls", true), "two");
    EXPECT_FALSE(batch.userCancelled());
    EXPECT_EQ(batch.ask("b.xls", true), std::nullopt);
    EXPECT_FALSE(batch.userCancelled()); // a typed password failed: no Cancel
    // b.xls was never opened, so "one" is still the password offered first.
    EXPECT_EQ(batch.ask("c.xls", false), "one");
    EXPECT_EQ(user.asked, (std::vector<std::string>{"a.xls", "b.xls", "b.xls again"}));

    // A new batch remembers nothing.
    batch.reset(&user);
    user.answers.push_back("three");
    EXPECT_EQ(batch.ask("d.xls", false), "three");
    EXPECT_EQ(user.asked.back(), "d.xls");
    EXPECT_EQ(batch.ask("e.xls", false), "three");
    EXPECT_EQ(batch.ask("e.xls", true), std::nullopt);
    EXPECT_TRUE(batch.userCancelled());
}

} // namespace
} // namespace velquin::convert
