// CCharactor.h: one animated character: up to ten frames, the mask of each,
// and a path of one point per tick of a 60-second loop.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Graphics.h"

// Where a frame's centre goes, as fractions of the window's width and height.
struct TDoublePoint {
    double x = 0.0;
    double y = 0.0;
};

// The point that stands for "no position": far off the window, never seen.
constexpr TDoublePoint kNoPosition{-200.0, -200.0};

class TCharactor {
public:
    static constexpr int32_t kPointCount = 600;  // a 60-second loop at 100 ms a tick
    static constexpr int32_t kSlotCount = 10;

    TCharactor();   // CharactorCreate: 600 points at kNoPosition, no frames, transparent
    ~TCharactor();  // CharactorDestroy
    TCharactor(const TCharactor&) = delete;
    TCharactor& operator=(const TCharactor&) = delete;

    // Every point back to kNoPosition; the count stays 600.
    void clearPoints();
    // Ignored unless 0 <= index < getPointCount().
    void setPoint(int32_t index, double x, double y);
    int32_t getPointCount() const { return static_cast<int32_t>(points_.size()); }
    // None outside 0 .. getPointCount() - 1; the character keeps ownership.
    const TDoublePoint* getPoint(int32_t index) const;

    // Copies path into the work directory (EFOpenError when it cannot be read),
    // loads path itself as a picture (EInvalidGraphic) and installs it with
    // setGraphic. A slot outside 0 to 9 shows "setGraphic : 範囲エラーです"
    // and changes nothing.
    void loadGraphic(int32_t slot, const std::string& path);
    // Takes the picture into the slot and builds its mask from its top-left
    // pixel (when transparent) or all white. A slot outside 0 to 9 shows
    // "setGraphic : 範囲エラーです" and drops the picture.
    void setGraphic(int32_t slot, std::unique_ptr<TPicture> picture);
    // The filled slots from 0 up to the first empty one.
    int32_t getGraphicCount() const;
    // None for an empty slot or one outside 0 to 9, or a picture without a graphic.
    const TGraphic* getGraphic(int32_t slot) const;
    // None for an empty slot or one outside 0 to 9.
    const TBitmap* getMask(int32_t slot) const;

    bool getTransparent() const { return transparent_; }
    // Masks already built stay as they are.
    void setTransparent(bool transparent) { transparent_ = transparent; }
    void setName(const std::string& name) { name_ = name; }
    const std::string& getName() const { return name_; }
    // The work-directory copy slot was loaded from; empty when none (or outside 0 to 9).
    const std::string& getGraphicFile(int32_t slot) const;

private:
    static bool validSlot(int32_t slot) { return slot >= 0 && slot < kSlotCount; }

    std::array<std::string, kSlotCount> graphicFile_;
    std::array<std::unique_ptr<TPicture>, kSlotCount> picture_;
    std::array<std::unique_ptr<TBitmap>, kSlotCount> mask_;  // present wherever picture_ is
    std::vector<TDoublePoint> points_;                       // always kPointCount entries
    std::string name_;
    bool transparent_ = true;
};
