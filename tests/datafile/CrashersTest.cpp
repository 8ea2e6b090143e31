// CrashersTest.cpp: every malformed data file of tests/crashers gives the
// outcome its line in expected.txt names, ends, and writes nothing outside
// the work directory.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "config/CData.h"
#include "datafile/CFileManage.h"
#include "model/CCharactorList.h"
#include "platform/Exceptions.h"
#include "platform/SysUtils.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

const fs::path kCrashers = fs::path(LURVA_SOURCE_DIR) / "tests" / "crashers";

struct Expectation {
    std::string file;
    std::string outcome;  // "true", "false" or "error"
    std::string message;  // of the error
};

std::vector<Expectation> readExpectations()
{
    std::vector<Expectation> out;
    std::ifstream in(kCrashers / "expected.txt");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        Expectation e;
        fields >> e.file >> e.outcome;
        std::getline(fields >> std::ws, e.message);
        out.push_back(e);
    }
    return out;
}

std::string outcomeOf(const std::string& file, std::string& message)
{
    TCharactorList list;
    try {
        return loadScrSavData(file, list) ? "true" : "false";
    } catch (const Exception& e) {
        message = e.Message();
        return "error";
    }
}

TEST(CrashersTest, EachFileGivesItsExpectedOutcome)
{
    const std::vector<Expectation> expectations = readExpectations();
    ASSERT_GE(expectations.size(), 20u);
    // Every file of the corpus has a line, and every line a file.
    size_t files = 0;
    for (const auto& entry : fs::directory_iterator(kCrashers))
        files += entry.path().filename() != "expected.txt" ? 1 : 0;
    EXPECT_EQ(files, expectations.size());

    const TempDir work;
    setWorkDirOverride(work.str());
    MessageRecorder messages;
    for (const Expectation& e : expectations) {
        SCOPED_TRACE(e.file);
        ASSERT_TRUE(fs::is_regular_file(kCrashers / e.file));
        std::string message;
        EXPECT_EQ(outcomeOf((kCrashers / e.file).string(), message), e.outcome);
        EXPECT_EQ(message, e.message);
        deleteFilesIn(IncludeTrailingPathDelimiter(work.str()));
    }
    setWorkDirOverride(std::nullopt);
    // Nothing was written next to the corpus (the traversal case aims at /tmp).
    EXPECT_FALSE(fs::exists("/tmp/lurva-crasher"));
    size_t after = 0;
    for (const auto& entry : fs::directory_iterator(kCrashers))
        after += entry.path().filename() != "expected.txt" ? 1 : 0;
    EXPECT_EQ(after, files);
}

}  // namespace
