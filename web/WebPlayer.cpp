// WebPlayer.cpp: the show core's entry in the web player. The page writes a
// data file into the module's file system (MEMFS) and drives the screen saver
// window through these functions: open at a size and a first step, then one
// step at a time, copying out the rectangles each step changed.
#include <emscripten.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "config/CData.h"
#include "datafile/CFileManage.h"
#include "model/CCharactorList.h"
#include "model/CSetting.h"
#include "platform/Exceptions.h"
#include "platform/Forms.h"
#include "platform/SysUtils.h"
#include "platform/web/WebBackend.h"
#include "shell/CMain.h"

namespace {

// The desktop a show with background mode 1 shows: `sdtool render` uses
// the same grey when no desktop is given, so the pictures agree.
constexpr uint32_t kNeutralGrey = 0x808080;

std::string endsWithDot(std::string text)
{
    if (!text.empty() && text.back() != '.')
        text += '.';
    return text;
}

// The pictures of the work directory a failed load left that the page cannot
// draw, by name.
std::vector<std::string> metafilesIn(const std::string& dir)
{
    std::vector<std::string> found;
    for (const std::string& name : ListFiles(dir)) {
        std::string extension = ExtractFileExt(name);
        for (char& c : extension)
            c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        if (extension == ".wmf" || extension == ".emf")
            found.push_back(name);
    }
    return found;
}

// One show in the page: its application, backend and window.
class TWebShow {
public:
    // Loads fileName and puts it at the picture after step firstStep. False
    // (Problem() saying why) when the show cannot play.
    bool Open(const std::string& fileName, int width, int height, int64_t firstStep)
    {
        auto owned = std::make_unique<TWebBackend>(width, height, kNeutralGrey);
        backend_ = owned.get();
        app_ = std::make_unique<TApplication>(std::move(owned));
        app_->SetTitle("Lurvasaver");
        app_->SetArguments({"lurva", fileName});
        std::string thrown;
        const auto loader = [&thrown](const std::string& name, TCharactorList& list) {
            try {
                return loadScrSavData(name, list);
            } catch (const std::exception& e) {
                thrown = e.what();
                throw;
            }
        };
        try {
            form_ = &static_cast<TMainForm&>(app_->CreateForm(std::make_unique<TMainForm>(loader)));
        } catch (const std::exception& e) {
            thrown = e.what();
        }
        if (form_ == nullptr || !form_->isRunning()) {
            problem_ = explainFailure(fileName, thrown);
            return false;
        }
        form_->Show();
        app_->ProcessMessages();
        form_->startAtStep(firstStep);
        Step();
        return true;
    }

    void Step() { backend_->AdvanceTime(TMainForm::kTimerInterval); }

    void Close()
    {
        if (form_ != nullptr && !form_->Closed())
            form_->Close();
        form_ = nullptr;
    }

    ~TWebShow() { Close(); }

    const std::string& Problem() const { return problem_; }
    TWebBackend& Backend() { return *backend_; }
    const TMainForm* Form() const { return form_; }

private:
    std::string explainFailure(const std::string& fileName, const std::string& thrown)
    {
        std::string text;
        const std::vector<std::string> metafiles = metafilesIn(getWorkDir());
        if (!metafiles.empty()) {
            text = "The show needs the metafile picture " + metafiles.front()
                   + ", which the web player does not draw (only BMP, ICO and JPEG pictures).";
        } else if (thrown.empty()) {
            text = "The show cannot be played: " + endsWithDot(describeLoadFailure(fileName));
        } else {
            text = "The show cannot be loaded.";
        }
        std::string said;
        for (const std::string& message : backend_->Messages())
            said += (said.empty() ? "" : " ") + message;
        if (said.empty())
            said = thrown;
        if (!said.empty())
            text += "\nThe loader says: " + said;
        return text;
    }

    std::unique_ptr<TApplication> app_;
    TWebBackend* backend_ = nullptr;
    TMainForm* form_ = nullptr;
    std::string problem_;
};

std::unique_ptr<TWebShow> current;
std::vector<int32_t> changedRects;
std::string text;

}  // namespace

extern "C" {

// Opens the data file at path (in the module's file system) on a screen of
// width x height, at the picture after step firstStep. 1 when it plays, 0
// when not (lurva_problem says why).
EMSCRIPTEN_KEEPALIVE int lurva_open(const char* path, int width, int height, double firstStep)
{
    current.reset();
    // A failure is explained from what the load unpacks: nothing of an
    // earlier show may be there.
    deleteFilesIn(getWorkDir());
    current = std::make_unique<TWebShow>();
    if (current->Open(path, width, height, static_cast<int64_t>(firstStep)))
        return 1;
    text = current->Problem();
    current.reset();
    return 0;
}

EMSCRIPTEN_KEEPALIVE const char* lurva_problem()
{
    return text.c_str();
}

// One step of the show (100 ms of its clock).
EMSCRIPTEN_KEEPALIVE void lurva_step()
{
    if (current)
        current->Step();
}

// The rectangles presented since the last call, taken: left, top, right,
// bottom for each, at lurva_rects(); returns how many.
EMSCRIPTEN_KEEPALIVE int lurva_take_changed()
{
    changedRects.clear();
    if (!current)
        return 0;
    for (const TRect& rect : current->Backend().TakeChangedRects())
        changedRects.insert(changedRects.end(), {rect.Left, rect.Top, rect.Right, rect.Bottom});
    return static_cast<int>(changedRects.size() / 4);
}

EMSCRIPTEN_KEEPALIVE const int32_t* lurva_rects()
{
    return changedRects.data();
}

// The window's picture: RGBA bytes, rows top-down, lurva_width() pixels a row.
EMSCRIPTEN_KEEPALIVE const uint8_t* lurva_pixels()
{
    return current ? current->Backend().Pixels() : nullptr;
}

EMSCRIPTEN_KEEPALIVE int lurva_width()
{
    return current ? current->Backend().PictureWidth() : 0;
}

EMSCRIPTEN_KEEPALIVE int lurva_height()
{
    return current ? current->Backend().PictureHeight() : 0;
}

// The facts of the open show, as `sdtool info` gives them: a JSON object
// with characters, loopTime (seconds), playsMusic and hasMusic. The music's
// name comes apart (lurva_music_name), as the file's own Shift-JIS bytes.
EMSCRIPTEN_KEEPALIVE const char* lurva_facts()
{
    text = "{}";
    if (!current || current->Form() == nullptr || current->Form()->getCharactorList() == nullptr)
        return text.c_str();
    const TCharactorList& list = *current->Form()->getCharactorList();
    const TSetting& setting = list.getSetting();
    text = "{\"characters\": " + std::to_string(list.getCount()) + ", \"loopTime\": " + std::to_string(list.getLoopTime())
           + ", \"playsMusic\": " + (setting.getPlayBgm() ? "true" : "false")
           + ", \"hasMusic\": " + (setting.getBgmFile().empty() ? "false" : "true") + "}";
    return text.c_str();
}

EMSCRIPTEN_KEEPALIVE const char* lurva_music_name()
{
    text.clear();
    if (current && current->Form() != nullptr && current->Form()->getCharactorList() != nullptr)
        text = current->Form()->getCharactorList()->getSetting().getBgmName();
    return text.c_str();
}

EMSCRIPTEN_KEEPALIVE void lurva_close()
{
    current.reset();
}

}  // extern "C"
