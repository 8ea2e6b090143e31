// Where the show goes on the monitors and at what scale: the rounding of the
// desktop's scale, the primary first, mirrored monitors, the show size.
#include <gtest/gtest.h>

#include "shell/CScreenLayout.h"

TEST(ScreenLayout, TheDesktopScaleRoundsToTheNearestWholeScaleByRatio)
{
    const struct {
        int dpi;
        int scale;
    } rows[] = {
        {0, 1}, {-5, 1}, {72, 1}, {96, 1}, {120, 1},  // 125 %
        {135, 1}, {136, 2},                            // 1.41 and 1.42: the boundary is sqrt(2)
        {144, 2}, {168, 2}, {192, 2}, {216, 2},        // 150 %, 175 %, 200 %, 225 %
        {235, 2}, {236, 3}, {240, 3}, {288, 3},        // sqrt(6) = 2.449; 250 %, 300 %
        {384, 4}, {100000, 16},
    };
    for (const auto& row : rows)
        EXPECT_EQ(PixelScaleOfDpi(row.dpi), row.scale) << row.dpi << " dpi";
}

TEST(ScreenLayout, ThePrimaryComesFirstAndEachMonitorKeepsItsOwnSize)
{
    const std::vector<TMonitor> monitors = {
        {0, 0, 1280, 1024, false, 96},
        {1280, 0, 3840, 2160, true, 192},
        {-1920, 0, 1921, 1081, false, 288},
    };
    const auto placements = LayOutScreens(monitors, std::nullopt, TMonitorUse::All);
    ASSERT_EQ(placements.size(), 3u);
    EXPECT_EQ(placements[0].Monitor.Left, 1280);
    EXPECT_TRUE(placements[0].Monitor.Primary);
    EXPECT_EQ(placements[0].Scale, 2);
    EXPECT_EQ(placements[0].ShowWidth, 1920);
    EXPECT_EQ(placements[0].ShowHeight, 1080);
    EXPECT_EQ(placements[1].Monitor.Left, 0);
    EXPECT_FALSE(placements[1].Monitor.Primary);
    EXPECT_EQ(placements[1].ShowWidth, 1280);
    // A size the scale does not divide: the last show pixel is cut by the edge.
    EXPECT_EQ(placements[2].Scale, 3);
    EXPECT_EQ(placements[2].ShowWidth, 641);
    EXPECT_EQ(placements[2].ShowHeight, 361);
    for (const auto& placement : placements)
        EXPECT_FALSE(placement.Black);
}

TEST(ScreenLayout, AGivenScaleReplacesTheMonitorsOwnWithinItsRange)
{
    const std::vector<TMonitor> monitors = {{0, 0, 800, 600, true, 192}, {800, 0, 640, 480, false, 96}};
    const struct {
        std::optional<int> scale;
        int primary, other;
    } rows[] = {{std::nullopt, 2, 1}, {1, 1, 1}, {3, 3, 3}, {0, 1, 1}, {99, 16, 16}};
    for (const auto& row : rows) {
        const auto placements = LayOutScreens(monitors, row.scale, TMonitorUse::All);
        ASSERT_EQ(placements.size(), 2u);
        EXPECT_EQ(placements[0].Scale, row.primary);
        EXPECT_EQ(placements[1].Scale, row.other);
        EXPECT_EQ(placements[0].ShowWidth, (800 + row.primary - 1) / row.primary);
    }
}

TEST(ScreenLayout, MirrorsAndEmptyMonitorsGetNoWindowAndPrimaryOnlyBlacksTheRest)
{
    const std::vector<TMonitor> monitors = {
        {0, 0, 1920, 1080, false, 96},
        {0, 0, 1920, 1080, true, 96},    // the primary's mirror
        {200, 100, 800, 600, false, 96},  // inside it: a smaller mirror
        {1920, 0, 0, 768, false, 96},     // no area
        {1920, 0, 1024, 768, false, 96},
    };
    const auto all = LayOutScreens(monitors, std::nullopt, TMonitorUse::All);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_TRUE(all[0].Monitor.Primary);
    EXPECT_EQ(all[1].Monitor.Left, 1920);
    EXPECT_FALSE(all[1].Black);

    const auto primaryOnly = LayOutScreens(monitors, std::nullopt, TMonitorUse::PrimaryOnly);
    ASSERT_EQ(primaryOnly.size(), 2u);
    EXPECT_FALSE(primaryOnly[0].Black);
    EXPECT_TRUE(primaryOnly[1].Black);

    // No monitor says it is the primary: the first is.
    const auto none = LayOutScreens({{10, 0, 640, 480, false, 0}, {650, 0, 640, 480, false, 0}}, std::nullopt,
        TMonitorUse::All);
    ASSERT_EQ(none.size(), 2u);
    EXPECT_EQ(none[0].Monitor.Left, 10);
    EXPECT_TRUE(none[0].Monitor.Primary);
    EXPECT_TRUE(LayOutScreens({}, 2, TMonitorUse::All).empty());
}
