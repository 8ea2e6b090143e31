// CCharactorListTest.cpp: the list of characters, the loop time and the
// settings it owns.
#include <gtest/gtest.h>

#include "model/CCharactorList.h"

TEST(CharactorList, CreationValues)
{
    TCharactorList list;
    EXPECT_EQ(list.getCount(), 0);
    EXPECT_EQ(list.getLoopTime(), 60u);
    EXPECT_EQ(list.getCharactor(0), nullptr);
    const TSetting& setting = list.getSetting();
    EXPECT_EQ(setting.getBackMode(), 0);
    EXPECT_EQ(setting.getBackColor(), 0);
    EXPECT_FALSE(setting.getPlayBgm());
    EXPECT_EQ(setting.getBackGraphic(), nullptr);
}

TEST(CharactorList, AddKeepsLoadOrder)
{
    TCharactorList list;
    TCharactor& first = list.add();
    first.setName("first");
    TCharactor& second = list.add();
    second.setName("second");
    EXPECT_EQ(list.getCount(), 2);
    EXPECT_EQ(list.getCharactor(0), &first);
    EXPECT_EQ(list.getCharactor(1), &second);
    EXPECT_EQ(list.getCharactor(2), nullptr);
    EXPECT_EQ(list.getCharactor(-1), nullptr);
    // Each starts with the creation values.
    EXPECT_EQ(second.getPointCount(), 600);
    EXPECT_TRUE(second.getTransparent());
    EXPECT_EQ(second.getGraphicCount(), 0);
}

TEST(CharactorList, ClearKeepsLoopTimeAndSettings)
{
    TCharactorList list;
    list.add();
    list.add();
    list.setLoopTime(30);
    TSetting& setting = list.getSetting();
    setting.setBackMode(3);
    setting.setBackColor(0x00ABCDEF);
    list.clear();
    EXPECT_EQ(list.getCount(), 0);
    EXPECT_EQ(list.getCharactor(0), nullptr);
    EXPECT_EQ(list.getLoopTime(), 30u);
    EXPECT_EQ(&list.getSetting(), &setting);
    EXPECT_EQ(list.getSetting().getBackMode(), 3);
    EXPECT_EQ(list.getSetting().getBackColor(), 0x00ABCDEF);
    // And it fills again after a clear.
    list.add().setName("again");
    EXPECT_EQ(list.getCount(), 1);
    EXPECT_EQ(list.getCharactor(0)->getName(), "again");
}

TEST(CharactorList, LoopTimeIsStoredUnchecked)
{
    TCharactorList list;
    for (uint32_t seconds : {0u, 1u, 90u, 0xFFFFFFFFu}) {
        list.setLoopTime(seconds);
        EXPECT_EQ(list.getLoopTime(), seconds);
    }
}
