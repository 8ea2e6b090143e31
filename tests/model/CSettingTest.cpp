// CSettingTest.cpp: the show settings: creation values, the background picture
// and music copied into the work directory, and their failures.
#include <gtest/gtest.h>

#include <fstream>

#include "ModelFixtures.h"
#include "model/CSetting.h"
#include "platform/Exceptions.h"

using SettingTest = ModelTest;

TEST_F(SettingTest, CreationValues)
{
    TSetting setting;
    EXPECT_EQ(setting.getBackMode(), 0);
    EXPECT_EQ(setting.getBackColor(), 0);
    EXPECT_FALSE(setting.getPlayBgm());
    EXPECT_EQ(setting.getBackGraphic(), nullptr);
    EXPECT_EQ(setting.getBgmFile(), "");
    EXPECT_EQ(setting.getBackFile(), "");
    EXPECT_EQ(setting.getBgmName(), "");
}

TEST_F(SettingTest, PlainValuesAreStoredUnchecked)
{
    TSetting setting;
    setting.setBackMode(7);
    setting.setBackColor(0x00123456);
    setting.setPlayBgm(true);
    setting.setBgmName("\x83\x65\x83\x58\x83\x67");  // Shift-JIS bytes kept as they are
    EXPECT_EQ(setting.getBackMode(), 7);
    EXPECT_EQ(setting.getBackColor(), 0x00123456);
    EXPECT_TRUE(setting.getPlayBgm());
    EXPECT_EQ(setting.getBgmName(), "\x83\x65\x83\x58\x83\x67");
}

TEST_F(SettingTest, BackFileLoadsANumberedCopy)
{
    const std::string back0 = writeFrame("back0.bmp", {{clRed, clWhite}, {clBlack, clRed}});
    TSetting setting;
    setting.setBackFile(back0);
    // A number goes after whatever the name ends with.
    EXPECT_EQ(setting.getBackFile(), workFile("back00.bmp"));
    const TGraphic* graphic = setting.getBackGraphic();
    ASSERT_NE(graphic, nullptr);
    EXPECT_EQ(graphic->Width(), 2);
    EXPECT_EQ(graphic->Height(), 2);

    // The same source again: a second copy, and that one is loaded.
    setting.setBackFile(back0);
    EXPECT_EQ(setting.getBackFile(), workFile("back01.bmp"));
    EXPECT_NE(setting.getBackGraphic(), nullptr);
    EXPECT_EQ(workFiles(), (std::vector<std::string>{"back00.bmp", "back01.bmp"}));
}

TEST_F(SettingTest, MissingBackFileDropsThePictureAndKeepsThePath)
{
    TSetting setting;
    setting.setBackFile(writeFrame("a.bmp", {{clRed}}));
    const std::string copy = setting.getBackFile();
    ASSERT_NE(setting.getBackGraphic(), nullptr);
    setting.setBackFile(source("missing.bmp"));
    EXPECT_EQ(setting.getBackGraphic(), nullptr);
    EXPECT_EQ(setting.getBackFile(), copy);
}

TEST_F(SettingTest, BackFileFormatsByExtension)
{
    TSetting setting;
    const std::string jpg = source("photo.jpg");
    writeFile(jpg, makeJpeg(std::vector<uint32_t>(64, 0x00336699), 8, 8));
    setting.setBackFile(jpg);
    ASSERT_NE(setting.getBackGraphic(), nullptr);
    EXPECT_NE(dynamic_cast<const TJPEGImage*>(setting.getBackGraphic()), nullptr);

    // A picture the holder cannot read: the error propagates, the copy is
    // named, and there is no graphic.
    const std::string png = source("picture.png");
    writeFile(png, makePngRgba(std::vector<uint32_t>(4, 0xFF000000), 2, 2));
    EXPECT_THROW_MSG(setting.setBackFile(png), EInvalidGraphic, "拡張子 .png の画像形式は処理できません");
    EXPECT_EQ(setting.getBackGraphic(), nullptr);
    EXPECT_EQ(setting.getBackFile(), workFile("picture0.png"));

    const std::string broken = source("broken.bmp");
    writeFile(broken, {'B', 'M', 1, 2, 3});
    EXPECT_THROW_MSG(setting.setBackFile(broken), EInvalidGraphic, "ビットマップイメージが不正です");
    EXPECT_EQ(setting.getBackGraphic(), nullptr);
    EXPECT_EQ(setting.getBackFile(), workFile("broken0.bmp"));
}

TEST_F(SettingTest, BgmFileIsCopiedWhenItExists)
{
    TSetting setting;
    setting.setBgmFile(source("missing.mid"));
    EXPECT_EQ(setting.getBgmFile(), "");

    const std::string tune = source("bgm0.mid");
    writeFile(tune, {'M', 'T', 'h', 'd', 0, 0, 0, 6});
    setting.setBgmFile(tune);
    EXPECT_EQ(setting.getBgmFile(), workFile("bgm00.mid"));
    std::ifstream copy(setting.getBgmFile(), std::ios::binary);
    std::string bytes(std::filesystem::file_size(setting.getBgmFile()), '\0');
    copy.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    EXPECT_EQ(bytes, std::string("MThd\0\0\0\6", 8));

    setting.setBgmFile(source("missing.mid"));
    EXPECT_EQ(setting.getBgmFile(), workFile("bgm00.mid"));
}
