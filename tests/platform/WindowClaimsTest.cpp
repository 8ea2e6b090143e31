// Window lookup by class name across processes, and the private directory
// that holds the lookups' lock files.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "platform/WindowClaims.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

namespace {

// Points the lookups at a directory of the test's own for its lifetime.
class WindowClaims : public ::testing::Test {
protected:
    WindowClaims() : saved_(std::getenv("LURVA_WINDOW_DIR") ? std::getenv("LURVA_WINDOW_DIR") : "")
    {
        Use(temp_.path() / "windows");
    }
    ~WindowClaims() override { ::setenv("LURVA_WINDOW_DIR", saved_.c_str(), 1); }

    void Use(const std::filesystem::path& dir) { ::setenv("LURVA_WINDOW_DIR", dir.c_str(), 1); }

    TempDir temp_;
    std::string saved_;
};

}  // namespace

TEST_F(WindowClaims, AClaimIsSeenUntilTheLastOneGoes)
{
    EXPECT_FALSE(WindowClassClaimed("TMainForm"));
    auto first = ClaimWindowClass("TMainForm");
    ASSERT_NE(first, nullptr);
    auto second = ClaimWindowClass("TMainForm");  // windows of one class may coexist
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(WindowClassClaimed("TMainForm"));
    EXPECT_FALSE(WindowClassClaimed("TSettingForm"));
    first.reset();
    EXPECT_TRUE(WindowClassClaimed("TMainForm"));
    second.reset();
    EXPECT_FALSE(WindowClassClaimed("TMainForm"));
}

TEST_F(WindowClaims, AnotherProcesssClaimIsSeenAndGoesWhenItIsKilled)
{
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = forkChild([&] {
        auto claim = ClaimWindowClass("TMainForm");
        const char byte = claim ? 'y' : 'n';
        if (::write(ready[1], &byte, 1) != 1)
            return;
        for (;;)
            ::pause();
    });
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    EXPECT_EQ(byte, 'y');
    EXPECT_TRUE(WindowClassClaimed("TMainForm"));
    ::kill(child, SIGKILL);
    EXPECT_EQ(waitChild(child), 128 + SIGKILL);
    EXPECT_FALSE(WindowClassClaimed("TMainForm")) << "a dead process leaves no window behind";
    ::close(ready[0]);
    ::close(ready[1]);
}

TEST_F(WindowClaims, ClassNamesStayInsideTheDirectory)
{
    auto odd = ClaimWindowClass("../escape/T Form");
    ASSERT_NE(odd, nullptr);
    EXPECT_TRUE(WindowClassClaimed("../escape/T Form"));
    EXPECT_FALSE(WindowClassClaimed("..%2Fescape%2FT%20Form"));
    EXPECT_FALSE(std::filesystem::exists(temp_.path() / "escape"));
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(temp_.path() / "windows"))
        ++files;
    EXPECT_GE(files, 1u);
}

TEST_F(WindowClaims, TheDirectoryIsMadePrivate)
{
    const auto dir = temp_.path() / "open";
    std::filesystem::create_directory(dir);
    ::chmod(dir.c_str(), 0777);
    Use(dir);
    ASSERT_NE(ClaimWindowClass("TMainForm"), nullptr);
    struct stat st{};
    ASSERT_EQ(::stat(dir.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(WindowClaims, ALinkOrAForeignDirectoryIsNeverUsed)
{
    const auto real = temp_.path() / "real";
    std::filesystem::create_directory(real);
    std::filesystem::create_directory_symlink(real, temp_.path() / "link");
    std::ofstream(temp_.path() / "file") << "x";
    std::vector<std::filesystem::path> refused = {temp_.path() / "link", temp_.path() / "file"};
    if (::geteuid() == 0) {
        const auto foreign = temp_.path() / "foreign";
        std::filesystem::create_directory(foreign);
        ASSERT_EQ(::chown(foreign.c_str(), 65534, 65534), 0);
        refused.push_back(foreign);
    }
    for (const auto& dir : refused) {
        Use(dir);
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(ClaimWindowClass("TMainForm"), nullptr) << dir;
        EXPECT_NE(::testing::internal::GetCapturedStderr().find(dir.string()), std::string::npos);
        EXPECT_FALSE(WindowClassClaimed("TMainForm"));
    }
    EXPECT_TRUE(std::filesystem::is_empty(real));
}

TEST_F(WindowClaims, TheDefaultDirectoryIsPerUser)
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string keepRuntime = runtime ? runtime : "";
    const char* tmp = std::getenv("TMPDIR");
    const std::string keepTmp = tmp ? tmp : "";
    ::unsetenv("LURVA_WINDOW_DIR");
    ::setenv("XDG_RUNTIME_DIR", "/run/user/1000", 1);
    EXPECT_EQ(WindowClaimDirectory(), "/run/user/1000/lurva-windows");
    ::unsetenv("XDG_RUNTIME_DIR");
    ::setenv("TMPDIR", "/var/tmp", 1);
    EXPECT_EQ(WindowClaimDirectory(), "/var/tmp/lurva-windows-" + std::to_string(::getuid()));
    ::unsetenv("TMPDIR");
    EXPECT_EQ(WindowClaimDirectory(), "/tmp/lurva-windows-" + std::to_string(::getuid()));
    if (runtime)
        ::setenv("XDG_RUNTIME_DIR", keepRuntime.c_str(), 1);
    if (tmp)
        ::setenv("TMPDIR", keepTmp.c_str(), 1);
}
