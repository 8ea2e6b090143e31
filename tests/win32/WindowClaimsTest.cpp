// Tests of window lookup by class name on Windows (named objects).
#include <gtest/gtest.h>

#include "platform/WindowClaims.h"
#include "support/Environment.h"
#include "support/TestSupport.h"

TEST(Win32WindowClaims, AClassIsClaimedWhileAnyClaimLives)
{
    TempDir dir;
    ScopedEnv windows("LURVA_WINDOW_DIR", dir.str());
    EXPECT_EQ(WindowClaimDirectory(), dir.str());
    EXPECT_FALSE(WindowClassClaimed("TMainForm"));
    auto first = ClaimWindowClass("TMainForm");
    ASSERT_NE(first, nullptr);
    auto second = ClaimWindowClass("TMainForm");
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(WindowClassClaimed("TMainForm"));
    EXPECT_FALSE(WindowClassClaimed("TSettingForm"));
    EXPECT_FALSE(WindowClassClaimed("tmainform")) << "class names are exact";
    first.reset();
    EXPECT_TRUE(WindowClassClaimed("TMainForm"));
    second.reset();
    EXPECT_FALSE(WindowClassClaimed("TMainForm"));
}

TEST(Win32WindowClaims, ClaimDirectoriesDoNotSeeEachOther)
{
    TempDir one;
    TempDir other;
    std::unique_ptr<TWindowClaim> claim;
    {
        ScopedEnv windows("LURVA_WINDOW_DIR", one.str());
        claim = ClaimWindowClass("TMainForm");
        ASSERT_NE(claim, nullptr);
        EXPECT_TRUE(WindowClassClaimed("TMainForm"));
    }
    ScopedEnv windows("LURVA_WINDOW_DIR", other.str());
    EXPECT_FALSE(WindowClassClaimed("TMainForm"));
}
