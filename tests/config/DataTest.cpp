// DataTest.cpp: the data module owns a settings store for "rororade".
#include <gtest/gtest.h>

#include <memory>

#include "config/CData.h"
#include "support/Environment.h"
#include "support/TestSupport.h"

TEST(Data, OwnsTheStoreOfTheApplication)
{
    TempDir config;
    ScopedEnv configHome("XDG_CONFIG_HOME", config.str());
    {
        auto data = std::make_unique<TData>();
        Data = data.get();
        EXPECT_EQ(Data->regManage().getBasePath(), "Software\\Kelvo\\rororade\\");
        Data->regManage().writeString("main", "filename0", "/shows/a.sdt");
        Data = nullptr;
    }
    // A later module (the next process, in practice) sees what was stored.
    TData data;
    EXPECT_EQ(data.regManage().readString("main", "filename0", ""), "/shows/a.sdt");
    EXPECT_EQ(data.regManage().readInteger("main", "ignoreMouseMove", 7), 7);
}
