// ModelFixtures.h: a work directory of the test's own and frame files for the
// show model's tests.
#pragma once

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "config/CData.h"
#include "platform/Graphics.h"
#include "platform/ImageFiles.h"
#include "support/PictureFixtures.h"
#include "support/TestSupport.h"

// Points the work directory at a folder inside a fresh test directory, which
// also holds the source files, for the fixture's lifetime.
class ModelTest : public ::testing::Test {
protected:
    ModelTest() { setWorkDirOverride(work_.string()); }
    ~ModelTest() override { setWorkDirOverride(std::nullopt); }

    std::string source(const std::string& name) const { return (temp_.path() / name).string(); }
    std::string workFile(const std::string& name) const { return (work_ / name).string(); }

    // Writes a 24-bit bitmap file of rows (0x00BBGGRR colours, top row first).
    std::string writeFrame(const std::string& name, const std::vector<std::vector<TColor>>& rows) const
    {
        TBitmap bitmap(static_cast<int>(rows.at(0).size()), static_cast<int>(rows.size()));
        for (size_t y = 0; y < rows.size(); ++y)
            for (size_t x = 0; x < rows[y].size(); ++x)
                bitmap.Canvas().SetPixel(static_cast<int>(x), static_cast<int>(y), rows[y][x]);
        const std::string path = source(name);
        bitmap.SaveToFile(path);
        return path;
    }

    std::vector<std::string> workFiles() const
    {
        std::vector<std::string> names;
        if (std::filesystem::exists(work_))
            for (const auto& entry : std::filesystem::directory_iterator(work_))
                names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir temp_;
    const std::filesystem::path work_ = temp_.path() / "work";
};
