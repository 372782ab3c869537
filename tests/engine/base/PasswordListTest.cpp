#include "engine/base/PasswordList.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/base/FileSession.h"

namespace {

TEST(PasswordList, SessionAddsEachPasswordOnceAndIgnoresEmptyOnes) {
    engine::TFileSession session;
    session.AddPassword("Secret");
    session.AddPassword("Secret");
    session.AddPassword("");
    EXPECT_EQ(session.Passwords().Count(), 1);
    EXPECT_TRUE(session.FindPassword("Secret"));
    EXPECT_FALSE(session.FindPassword("secret"));
    EXPECT_FALSE(session.FindPassword("SECRET"));
    session.RemoveAllPasswords();
    EXPECT_FALSE(session.FindPassword("Secret"));
}

TEST(PasswordList, RemoveTakesTheFirstMatchOnly) {
    engine::TPasswordList list;
    list.Add("alpha");
    list.Add("beta");
    list.Add("alpha");
    list.Remove("alpha");
    EXPECT_EQ(list.Count(), 2);
    EXPECT_TRUE(list.Find("alpha"));
    list.Remove("ALPHA");
    EXPECT_EQ(list.Count(), 2);
    list.Remove("alpha");
    EXPECT_FALSE(list.Find("alpha"));
    EXPECT_TRUE(list.Find("beta"));
}

TEST(PasswordList, PasswordsKeepAtMost255Characters) {
    engine::TPasswordList list;
    list.Add(std::string(300, 'p'));
    EXPECT_TRUE(list.Find(std::string(255, 'p')));
}

}  // namespace
