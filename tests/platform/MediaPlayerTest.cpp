// MediaPlayerTest.cpp: the media player's commands, reports and rewind, over the headless backend.
#include <gtest/gtest.h>

#include <deque>
#include <fstream>
#include <functional>
#include <memory>

#include "platform/Exceptions.h"
#include "platform/MPlayer.h"
#include "platform/headless/HeadlessMediaPlayer.h"
#include "support/TestSupport.h"

namespace {

using Commands = std::vector<std::string>;

// Stands in for the UI thread's queue: posted callbacks wait until run.
class PostQueue {
public:
    PostToUiThread post()
    {
        return [this](std::function<void()> f) { queue_.push_back(std::move(f)); };
    }
    size_t size() const { return queue_.size(); }
    void runAll()
    {
        while (!queue_.empty()) {
            auto f = std::move(queue_.front());
            queue_.pop_front();
            f();
        }
    }

private:
    std::deque<std::function<void()>> queue_;
};

class MediaPlayerTest : public ::testing::Test {
protected:
    MediaPlayerTest()
    {
        tune = (dir.path() / "bgm00.mid").string();
        std::ofstream(tune) << "MThd";
        player = std::make_unique<TMediaPlayer>(ui.post());
        player->OnNotify = [this] { ++reports; };
    }

    // Opens and plays as the show window does at set-up.
    void openAndPlay()
    {
        player->Close();
        player->FileName = tune;
        player->Open();
        ASSERT_TRUE(player->CanPlay());
        player->Play();
    }

    TempDir dir;
    std::string tune;
    MediaPlayerRecorder recorder;  // before the player: it makes the player's backend
    PostQueue ui;
    std::unique_ptr<TMediaPlayer> player;
    int reports = 0;
    HeadlessMediaLog& log() { return recorder.log(); }
};

}  // namespace

TEST(DeviceTypeTest, chosenFromTheExtension)
{
    struct Case {
        const char* fileName;
        TMPDeviceTypes type;
    };
    const Case cases[] = {
        {"bgm00.mid", dtSequencer},       {"C:\\Temp\\lurva\\TUNE.MID", dtSequencer},
        {"song.midi", dtSequencer},       {"song.rmi", dtSequencer},
        {"voice.wav", dtWaveAudio},       {"clip.AVI", dtAVIVideo},
        {"notes.txt", dtOther},           {"bgm", dtOther},
        {"/tmp/dir.mid/bgm", dtOther},    {"", dtOther},
    };
    for (const Case& c : cases) EXPECT_EQ(deviceTypeForFile(c.fileName), c.type) << c.fileName;
}

TEST_F(MediaPlayerTest, setUpOpensAndPlaysFromTheStart)
{
    openAndPlay();
    EXPECT_EQ(log().commands, (Commands{"open " + tune + " sequencer", "play"}));
    EXPECT_TRUE(log().playing());
    EXPECT_TRUE(player->IsOpen());
}

TEST_F(MediaPlayerTest, closeWithNothingOpenDoesNothingAndOpenClosesWhatWasOpen)
{
    player->Close();
    EXPECT_TRUE(log().commands.empty());
    player->FileName = tune;
    player->Open();
    player->Open();
    player->Close();
    player->Close();
    EXPECT_EQ(log().commands, (Commands{"open " + tune + " sequencer", "close", "open " + tune + " sequencer", "close"}));
}

TEST_F(MediaPlayerTest, anExplicitDeviceTypeOverridesTheFileName)
{
    const std::string noExtension = (dir.path() / "bgm0").string();
    std::ofstream(noExtension) << "MThd";
    player->FileName = noExtension;
    EXPECT_THROW_MSG(player->Open(), Exception,
                     "Cannot open music \"" + noExtension + "\": no device plays files of this type");
    player->DeviceType = dtSequencer;
    player->Open();
    EXPECT_EQ(log().commands, (Commands{"open " + noExtension + " sequencer"}));
}

TEST_F(MediaPlayerTest, openFailuresSayWhyAndLeaveNothingOpen)
{
    EXPECT_THROW_MSG(player->Open(), Exception, "Cannot open music: no file name was given");

    player->FileName = (dir.path() / "missing.mid").string();
    EXPECT_THROW_MSG(player->Open(), Exception, "Cannot open music \"" + player->FileName + "\": no such file");

    player->FileName = tune;
    log().openError = "Cannot open music: no sound device";
    EXPECT_THROW_MSG(player->Open(), Exception, "Cannot open music: no sound device");
    EXPECT_FALSE(player->IsOpen());
    EXPECT_FALSE(player->CanPlay());
    EXPECT_THROW_MSG(player->Play(), Exception, "Cannot play music: nothing is open");
    player->Close();  // nothing open: no close reaches the device
    EXPECT_EQ(log().commands.back(), "open " + tune + " sequencer");
}

TEST_F(MediaPlayerTest, canPlayIsTheDevicesAnswer)
{
    log().canPlay = false;
    player->FileName = tune;
    player->Open();
    EXPECT_FALSE(player->CanPlay());
}

TEST_F(MediaPlayerTest, theEndIsReportedThroughThePostNeverInsideTheBackend)
{
    openAndPlay();
    ASSERT_TRUE(log().finishPiece());
    EXPECT_EQ(reports, 0);  // not yet: the report waits on the UI thread's queue
    EXPECT_EQ(ui.size(), 1u);
    ui.runAll();
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(player->NotifyValue(), nvSuccessful);
    EXPECT_FALSE(log().finishPiece());  // it stands at the end, playing nothing
}

TEST_F(MediaPlayerTest, notifyFalseSilencesOnlyTheNextCommand)
{
    player->FileName = tune;
    player->Open();
    player->SetNotify(false);
    player->Play();
    EXPECT_FALSE(player->Notify());
    log().finishPiece();
    ui.runAll();
    EXPECT_EQ(reports, 0);

    player->Play();  // no choice made: a play asks for the report
    EXPECT_TRUE(player->Notify());
    log().finishPiece();
    ui.runAll();
    EXPECT_EQ(reports, 1);
}

TEST_F(MediaPlayerTest, replayingFromTheReportLoopsFromTheStart)
{
    // The show window's completion handler.
    player->OnNotify = [this] {
        ++reports;
        player->SetNotify(true);
        player->Play();
    };
    openAndPlay();
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(log().finishPiece());
        ui.runAll();
    }
    EXPECT_EQ(reports, 3);
    EXPECT_TRUE(log().playing());
    EXPECT_EQ(log().commands, (Commands{"open " + tune + " sequencer", "play", "rewind", "play", "rewind", "play",
                                        "rewind", "play"}));
}

TEST_F(MediaPlayerTest, withoutAutoRewindAPlayAtTheEndEndsAtOnce)
{
    player->AutoRewind = false;
    openAndPlay();
    log().finishPiece();
    ui.runAll();
    player->Play();
    EXPECT_EQ(log().commands, (Commands{"open " + tune + " sequencer", "play"}));
    EXPECT_FALSE(log().playing());
    EXPECT_EQ(reports, 1);
    ui.runAll();
    EXPECT_EQ(reports, 2);
}

TEST_F(MediaPlayerTest, aReportOnItsWayIsDroppedByCloseByANewerPlayOrByTheDestructor)
{
    openAndPlay();
    log().finishPiece();
    player->Close();
    ui.runAll();
    EXPECT_EQ(reports, 0);

    openAndPlay();
    log().finishPiece();
    player->Play();  // starts again before the old report arrived
    ui.runAll();
    EXPECT_EQ(reports, 0);
    log().finishPiece();
    ui.runAll();
    EXPECT_EQ(reports, 1);

    player->Play();
    log().finishPiece();
    player.reset();
    ui.runAll();  // must not reach the destroyed player
    EXPECT_EQ(reports, 1);
}

TEST_F(MediaPlayerTest, aPlayWhilePlayingPlaysOnAndReportsOnce)
{
    openAndPlay();
    player->Play();
    EXPECT_EQ(log().commands, (Commands{"open " + tune + " sequencer", "play", "play"}));
    log().finishPiece();
    ui.runAll();
    EXPECT_EQ(reports, 1);
}

TEST(MediaPlayerConstructionTest, needsAWayToTheUiThread)
{
    MediaPlayerRecorder recorder;
    EXPECT_THROW_MSG(TMediaPlayer{PostToUiThread{}}, Exception,
                     "TMediaPlayer: no way to reach the UI thread was given");
}

TEST(MediaPlayerConstructionTest, theRecorderInstallsAndRestoresTheBackendFactory)
{
    auto before = setMediaPlayerBackendFactory(nullptr);
    setMediaPlayerBackendFactory(before);
    {
        MediaPlayerRecorder outer;
        {
            MediaPlayerRecorder inner;
            TMediaPlayer p([](std::function<void()>) {});
            p.Close();
            EXPECT_TRUE(inner.log().commands.empty());
        }
        {
            TempDir dir;
            const auto file = (dir.path() / "a.mid").string();
            std::ofstream(file) << "x";
            TMediaPlayer p([](std::function<void()>) {});
            p.FileName = file;
            p.Open();
            EXPECT_EQ(outer.log().commands, (Commands{"open " + file + " sequencer"}));
        }
    }
    EXPECT_EQ(bool(setMediaPlayerBackendFactory(before)), bool(before));
}
