// Tests of the MCI music backend under wine: errors name the file and say
// why, the commands hold on a device that has no sound card behind it, and
// only the successful end report of the open device's current play ends it.
#include <gtest/gtest.h>
#include <windows.h>
#include <mmsystem.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/MPlayer.h"
#include "platform/win32/MciPlayer.h"
#include "platform/MidiBuilder.h"
#include "support/TestSupport.h"

namespace {

// One long note, so that no real end report comes while a test runs.
std::vector<uint8_t> longTune()
{
    TrackBuilder track;
    track.tempo(0, 500000).program(0, 0, 0).noteOn(0, 0, 60).noteOff(96 * 120, 0, 60).end(0);
    return midiFile(0, 96, {track});
}

// The message of the Exception statement raises; empty when it raises none.
template <typename Statement>
std::string failureOf(Statement statement)
{
    try {
        statement();
    } catch (const Exception& e) {
        return e.Message();
    }
    return {};
}

void pumpMessages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// A player with the long tune open, or the reason it cannot be opened here.
class OpenTune : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directory(pathFromUtf8(dir.str() + "\\曲"));
        path = dir.str() + "\\曲\\音楽 ファイル.mid";
        writeBytes(pathFromUtf8(path), longTune());
        const std::string why = failureOf([&] { player.open(path, dtSequencer); });
        if (!why.empty()) {
            // Refused (no window, no device): it must still say which file and why.
            EXPECT_NE(why.find("\"" + path + "\": "), std::string::npos) << why;
            GTEST_SKIP() << why;
        }
    }

    TempDir dir;
    std::string path;
    win32::MciPlayer player;
};

}  // namespace

TEST(Win32MciPlayer, RefusalsNameTheFileAndSayWhy)
{
    TempDir dir;
    const std::string missing = dir.str() + "\\無い曲.mid";
    const std::string notMidi = dir.str() + "\\文字.mid";
    writeBytes(pathFromUtf8(notMidi), std::vector<uint8_t>{'n', 'o', 't', ' ', 'M', 'I', 'D', 'I', '\n'});
    const std::string empty = dir.str() + "\\空.mid";
    writeBytes(pathFromUtf8(empty), {});
    const std::string tune = dir.str() + "\\tune.mid";
    writeBytes(pathFromUtf8(tune), longTune());

    const struct {
        std::string file;
        TMPDeviceTypes type;
    } cases[] = {{missing, dtSequencer}, {notMidi, dtSequencer}, {empty, dtSequencer}, {tune, dtCDAudio},
                 {tune, dtVCR}, {tune, dtOther}};
    for (const auto& c : cases) {
        win32::MciPlayer player;
        const std::string prefix = "Cannot open music \"" + c.file + "\": ";
        const std::string why = failureOf([&] { player.open(c.file, c.type); });
        ASSERT_EQ(why.rfind(prefix, 0), 0u) << c.file << " as " << c.type << ": " << why;
        EXPECT_GT(why.size(), prefix.size() + 4) << why;
        EXPECT_FALSE(player.canPlay());
        EXPECT_EQ(player.deviceId(), 0u);
        EXPECT_EQ(player.notifyWindow(), nullptr);
    }
    win32::MciPlayer player;
    EXPECT_THROW_MSG(player.open(tune, dtCDAudio), Exception,
                     "Cannot open music \"" + tune + "\": no MCI device plays this device type");
    EXPECT_THROW_MSG(player.play({}), Exception, "Cannot play music: nothing is open");
}

TEST_F(OpenTune, CommandsHoldAndCloseLeavesNothing)
{
    EXPECT_TRUE(player.canPlay());
    EXPECT_NE(player.deviceId(), 0u);
    EXPECT_FALSE(player.atEnd());
    int ends = 0;
    EXPECT_EQ(failureOf([&] { player.play([&] { ++ends; }); }), "");
    EXPECT_EQ(failureOf([&] { player.play([&] { ++ends; }); }), "");  // playing on
    EXPECT_EQ(failureOf([&] { player.rewind(); }), "");
    EXPECT_FALSE(player.atEnd());
    EXPECT_EQ(failureOf([&] { player.play([&] { ++ends; }); }), "");
    const HWND window = player.notifyWindow();
    player.close();
    EXPECT_FALSE(player.canPlay());
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(player.atEnd());
    pumpMessages();
    EXPECT_EQ(ends, 0);
    EXPECT_EQ(failureOf([&] { player.rewind(); }), "");  // nothing open: nothing to do

    // Opening again after a close works, and so does opening over an open piece.
    EXPECT_EQ(failureOf([&] { player.open(path, dtSequencer); }), "");
    EXPECT_EQ(failureOf([&] { player.open(path, dtSequencer); }), "");
    EXPECT_TRUE(player.canPlay());
}

TEST_F(OpenTune, OnlyTheSuccessfulReportOfTheOpenDeviceEndsThePlayOnce)
{
    int ends = 0;
    player.play([&] { ++ends; });
    const HWND window = player.notifyWindow();
    const MCIDEVICEID device = player.deviceId();
    ASSERT_NE(window, nullptr);
    const auto report = [&](WPARAM flags, MCIDEVICEID from) { SendMessageW(window, MM_MCINOTIFY, flags, from); };

    for (const WPARAM flags : {MCI_NOTIFY_ABORTED, MCI_NOTIFY_SUPERSEDED, MCI_NOTIFY_FAILURE})
        report(flags, device);
    report(MCI_NOTIFY_SUCCESSFUL, device + 1);
    EXPECT_EQ(ends, 0);
    report(MCI_NOTIFY_SUCCESSFUL, device);
    EXPECT_EQ(ends, 1);
    report(MCI_NOTIFY_SUCCESSFUL, device);
    EXPECT_EQ(ends, 1);

    // A rewind forgets the pending end.
    int rewound = 0;
    player.play([&] { ++rewound; });
    player.rewind();
    report(MCI_NOTIFY_SUCCESSFUL, device);
    EXPECT_EQ(rewound, 0);

    // A report queued before a rewind does not end the next play.
    int next = 0;
    player.play([&] { ++rewound; });
    PostMessageW(window, MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, device);
    player.rewind();
    player.play([&] { ++next; });
    pumpMessages();
    EXPECT_EQ(rewound, 0);
    EXPECT_EQ(next, 0);

    // Nor does one queued before a close, even when the device opened next has the same id.
    PostMessageW(window, MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, device);
    player.close();
    ASSERT_EQ(failureOf([&] { player.open(path, dtSequencer); }), "");
    int reopened = 0;
    player.play([&] { ++reopened; });
    pumpMessages();
    EXPECT_EQ(next, 0);
    EXPECT_EQ(reopened, 0);
    SendMessageW(player.notifyWindow(), MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, player.deviceId());
    EXPECT_EQ(reopened, 1);
}

// MCI's volume command: the device takes it, or refuses it and plays on at
// its own level, saying so; a piece opened later is asked again.
TEST_F(OpenTune, TheVolumeGoesToTheDeviceAndARefusalLeavesItPlaying)
{
    testing::internal::CaptureStderr();
    player.setVolume(40);
    const MCIERROR answer = player.volumeError();
    const std::string said = testing::internal::GetCapturedStderr();
    RecordProperty("device_answer", said.empty() ? std::string("taken") : said);
    EXPECT_EQ(said.empty(), answer == 0) << said;
    EXPECT_EQ(failureOf([&] { player.play({}); }), "");
    EXPECT_TRUE(player.canPlay());

    player.close();
    testing::internal::CaptureStderr();
    EXPECT_EQ(failureOf([&] { player.open(path, dtSequencer); }), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), said);
    EXPECT_EQ(player.volumeError(), answer);
}
