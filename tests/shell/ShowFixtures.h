// ShowFixtures.h: shows built in memory through the model, and a headless
// run of the screen saver window around them, for the window's tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/CData.h"
#include "model/CCharactorList.h"
#include "platform/Forms.h"
#include "platform/Graphics.h"
#include "platform/headless/HeadlessBackend.h"
#include "platform/headless/HeadlessMediaPlayer.h"
#include "shell/CMain.h"
#include "support/Environment.h"
#include "support/TestSupport.h"

namespace showfix {

// A picture of w x h in one colour (0x00BBGGRR), its top-left pixel (the key
// of a transparent character) keyColor when given.
inline std::unique_ptr<TPicture> solidFrame(int w, int h, TColor fill, std::optional<TColor> keyColor = std::nullopt)
{
    auto bitmap = std::make_unique<TBitmap>(w, h);
    bitmap->Canvas().BrushColor = fill;
    bitmap->Canvas().FillRect({0, 0, w, h});
    if (keyColor)
        bitmap->Canvas().SetPixel(0, 0, *keyColor);
    auto picture = std::make_unique<TPicture>();
    picture->SetGraphic(std::move(bitmap));
    return picture;
}

// A picture of w x h of pseudo-random colours with a ring of keyColor round
// the edge and a few key-coloured holes inside.
inline std::unique_ptr<TPicture> patternFrame(int w, int h, uint32_t seed, TColor keyColor)
{
    auto bitmap = std::make_unique<TBitmap>(w, h);
    uint32_t state = seed * 2654435761u + 1u;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            state = state * 1664525u + 1013904223u;
            const bool edge = x == 0 || y == 0 || x == w - 1 || y == h - 1;
            const bool hole = (state >> 28) == 0;
            bitmap->Canvas().SetPixel(x, y, edge || hole ? keyColor : static_cast<TColor>((state >> 8) & 0xFFFFFF));
        }
    auto picture = std::make_unique<TPicture>();
    picture->SetGraphic(std::move(bitmap));
    return picture;
}

// Every path entry of the character from where(index); kNoPosition for none.
inline void setPath(TCharactor& charactor, const std::function<std::optional<TDoublePoint>(int)>& where)
{
    for (int i = 0; i < TCharactor::kPointCount; ++i)
        if (const auto point = where(i))
            charactor.setPoint(i, point->x, point->y);
}

inline std::string readText(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline std::string writeBitmapFile(const std::filesystem::path& path, const TBitmap& bitmap)
{
    bitmap.SaveToFile(path.string());
    return path.string();
}

// Loads nothing from the file: builds the show with build instead.
inline TMainForm::TShowLoader showOf(std::function<void(TCharactorList&)> build)
{
    return [build = std::move(build)](const std::string&, TCharactorList& list) {
        build(list);
        return true;
    };
}

// A screen saver window run by the headless backend on its virtual clock,
// with the given first argument. Settings and "System.ini" live in the
// test's own configuration folder, extracted files in its own work folder.
class ShowRun {
public:
    ShowRun(TMainForm::TShowLoader loader, int width = 800, int height = 600,
            std::vector<std::string> arguments = {"lurva"}, std::optional<THeadlessPicture> desktop = std::nullopt,
            TMainForm::TStepComposition composition = TMainForm::TStepComposition::Incremental,
            TShowOptions options = {}, bool hosted = false,
            TMainForm::TPlacement placement = TMainForm::TPlacement::FullScreen, std::vector<TMonitor> monitors = {})
    {
        auto backend = std::make_unique<THeadlessBackend>();
        backend_ = backend.get();
        backend_->SetScreenSize(width, height);
        backend_->SetDrawsIntoHostWindow(hosted);
        backend_->SetMonitors(std::move(monitors));
        if (desktop)
            backend_->SetDesktopImage(std::move(*desktop));
        app_ = std::make_unique<TApplication>(std::move(backend));
        app_->SetTitle("Lurvasaver");
        app_->SetArguments(std::move(arguments));
        // The composition is chosen before set-up: the first step may come
        // from nothing else than the window's creation.
        form_ = &static_cast<TMainForm&>(
            app_->CreateForm(makeForm(std::move(loader), composition, std::move(options), placement)));
        form_->Show();
        app_->ProcessMessages();  // the first paint of the shown window
    }

    // A window still open at the end closes, as the program's would.
    ~ShowRun()
    {
        if (!form_->Closed())
            form_->Close();
    }
    ShowRun(const ShowRun&) = delete;
    ShowRun& operator=(const ShowRun&) = delete;

    // Runs n timer steps (the first step comes one interval after set-up).
    void steps(int n = 1) { backend_->AdvanceTime(int64_t{TMainForm::kTimerInterval} * n); }
    THeadlessBackend& backend() { return *backend_; }
    TApplication& app() { return *app_; }
    TMainForm& form() { return *form_; }
    const THeadlessPicture& picture() const { return backend_->WindowPicture(); }

private:
    static std::unique_ptr<TForm> makeForm(TMainForm::TShowLoader loader, TMainForm::TStepComposition composition,
        TShowOptions options, TMainForm::TPlacement placement)
    {
        auto form = std::make_unique<TMainForm>(std::move(loader), std::move(options), placement);
        form->setStepComposition(composition);
        return form;
    }

    THeadlessBackend* backend_ = nullptr;
    std::unique_ptr<TApplication> app_;
    TMainForm* form_ = nullptr;
};

// Settings, "System.ini", extracted files and music of one test, all its own.
class ShowTest : public ::testing::Test {
protected:
    ShowTest() { setWorkDirOverride(workDir().string()); }
    ~ShowTest() override { setWorkDirOverride(std::nullopt); }

    std::filesystem::path workDir() const { return temp_.path() / "work"; }
    std::filesystem::path configDir() const { return temp_.path() / "config"; }
    std::filesystem::path systemIni() const { return configDir() / "lurva" / "System.ini"; }
    std::vector<std::string> workFiles() const
    {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(workDir(), ec))
            names.push_back(entry.path().filename().string());
        return names;
    }

    TempDir temp_;
    ScopedEnv config_{"XDG_CONFIG_HOME", (temp_.path() / "config").string()};
    ScopedEnv scale_{"LURVA_SCALE", std::nullopt};
    MediaPlayerRecorder music_;
};

}  // namespace showfix
