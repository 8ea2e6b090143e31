// CMonitorForm.h: the show's window on a monitor beside the primary one: the
// same show laid out at that monitor's size (or black), stepped by the main
// window, which any input here ends together with every other window.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/Forms.h"
#include "shell/CScenePainter.h"
#include "shell/CScreenLayout.h"

// Puts form exactly over the placement's monitor, at its pixel scale.
void PlaceOverMonitor(TForm& form, const TScreenPlacement& placement);

class TMonitorForm : public TForm {
public:
    // What the window's input does: end the show, or count a movement.
    struct TInput {
        std::function<void()> End;
        std::function<void(TShiftState shift, int x, int y)> MouseMove;
    };

    TMonitorForm(const TScreenPlacement& placement, TInput input);
    ~TMonitorForm() override;

    const TScreenPlacement& placement() const { return placement_; }
    // The background the show is composed on, at the show's size (black
    // until the main window composes it).
    TBitmap& backBitmap() { return *backBitmap_; }
    // Composes the step's frames (laid out at this monitor's show size) and
    // presents what changed; a black window stays as it is.
    void step(const std::vector<TFramePlacement>& frames, bool wholeScreen);
    const TBitmap& drawBitmap() const { return *drawBitmap_; }

protected:
    void FormPaint() override;
    void FormKeyDown(uint16_t key, TShiftState shift) override;
    void FormClick() override;
    void FormMouseMove(TShiftState shift, int x, int y) override;

private:
    TScreenPlacement placement_;
    TInput input_;
    std::unique_ptr<TBitmap> drawBitmap_;
    std::unique_ptr<TBitmap> backBitmap_;
    TScenePainter painter_;
};
