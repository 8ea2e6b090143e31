// CSetting.h: the show-wide settings of one loaded show: how the background is
// made, its colour and picture, and the music.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Graphics.h"

// Background modes (getBackMode); any other value draws no background.
constexpr uint8_t kBackModeColor = 0;    // filled with getBackColor()
constexpr uint8_t kBackModeDesktop = 1;  // the screen as it was when the show started
constexpr uint8_t kBackModeStretch = 2;  // the background picture stretched to the screen
constexpr uint8_t kBackModeTile = 3;     // the background picture tiled from the top-left corner

class TSetting {
public:
    TSetting();   // SettingCreate: mode 0, black, no picture, no music
    ~TSetting();  // SettingDestroy
    TSetting(const TSetting&) = delete;
    TSetting& operator=(const TSetting&) = delete;

    uint8_t getBackMode() const { return backMode_; }
    void setBackMode(uint8_t mode) { backMode_ = mode; }
    TColor getBackColor() const { return backColor_; }
    void setBackColor(TColor color) { backColor_ = color; }
    bool getPlayBgm() const { return playBgm_; }
    void setPlayBgm(bool play) { playBgm_ = play; }
    void setBgmName(const std::string& name) { bgmName_ = name; }
    const std::string& getBgmName() const { return bgmName_; }

    // Drops the current picture, then, when path names an existing file,
    // copies it into the work directory and loads the copy. Errors of the copy
    // and of the picture propagate (the picture is then none).
    void setBackFile(const std::string& path);
    // The work-directory copy the picture was loaded from; empty before the first.
    const std::string& getBackFile() const { return backFile_; }
    // None without a picture or when its load failed; the setting keeps ownership.
    const TGraphic* getBackGraphic() const;

    // When path names an existing file, copies it into the work directory and
    // remembers the copy; otherwise nothing changes.
    void setBgmFile(const std::string& path);
    std::string getBgmFile() const { return bgmFile_; }

private:
    uint8_t backMode_ = kBackModeColor;
    TColor backColor_ = clBlack;
    std::string backFile_;
    std::unique_ptr<TPicture> backPicture_;  // made for backFile_ when present
    bool playBgm_ = false;
    std::string bgmName_;
    std::string bgmFile_;
};
