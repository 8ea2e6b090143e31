// CMonitorForm.cpp: a show window on a further monitor.
#include "shell/CMonitorForm.h"

#include <algorithm>
#include <utility>

#include "platform/Graphics.h"

void PlaceOverMonitor(TForm& form, const TScreenPlacement& placement)
{
    form.Position = TPosition::poDesigned;
    form.Left = placement.Monitor.Left;
    form.Top = placement.Monitor.Top;
    form.Width = placement.Monitor.Width;
    form.Height = placement.Monitor.Height;
    form.PixelScale = placement.Scale;
}

TMonitorForm::TMonitorForm(const TScreenPlacement& placement, TInput input)
    : TForm("TMonitorForm"), placement_(placement), input_(std::move(input))
{
    BorderStyle = TFormBorderStyle::bsNone;
    FormStyle = TFormStyle::fsStayOnTop;
    PlaceOverMonitor(*this, placement);
    // A black window keeps one black pixel, which FormPaint spreads over it.
    const int width = placement.Black ? 1 : placement.ShowWidth;
    const int height = placement.Black ? 1 : placement.ShowHeight;
    drawBitmap_ = std::make_unique<TBitmap>(width, height);
    backBitmap_ = std::make_unique<TBitmap>(width, height);
    if (placement.Black)
        drawBitmap_->Canvas().SetPixel(0, 0, clBlack);
}

TMonitorForm::~TMonitorForm() = default;

void TMonitorForm::step(const std::vector<TFramePlacement>& frames, bool wholeScreen)
{
    if (placement_.Black || Closed())
        return;
    if (wholeScreen) {
        renderReference(*drawBitmap_, *backBitmap_, frames);
        painter_.reset();
        Present(*drawBitmap_, TRect{0, 0, drawBitmap_->Width(), drawBitmap_->Height()});
    } else {
        Present(*drawBitmap_, painter_.paint(*drawBitmap_, *backBitmap_, frames));
    }
}

void TMonitorForm::FormPaint()
{
    if (!placement_.Black) {
        Present(*drawBitmap_, TRect{0, 0, drawBitmap_->Width(), drawBitmap_->Height()});
        return;
    }
    // Black over the whole window: the one black pixel at the window's size.
    const int saved = PixelScale;
    PixelScale = std::max(Width, Height);
    Present(*drawBitmap_, TRect{0, 0, 1, 1});
    PixelScale = saved;
}

void TMonitorForm::FormKeyDown(uint16_t /*key*/, TShiftState /*shift*/)
{
    if (input_.End)
        input_.End();
}

void TMonitorForm::FormClick()
{
    if (input_.End)
        input_.End();
}

void TMonitorForm::FormMouseMove(TShiftState shift, int x, int y)
{
    if (input_.MouseMove)
        input_.MouseMove(shift, x, y);
}
