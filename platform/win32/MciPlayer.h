// MciPlayer.h: the Windows module's music backend, a device of the Media
// Control Interface reporting the end of the piece to a message-only window.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <functional>
#include <string>

#include "platform/MPlayer.h"

namespace win32 {

class MciPlayer : public MediaPlayerBackend {
public:
    MciPlayer() = default;
    ~MciPlayer() override;

    void open(const std::string& fileName, TMPDeviceTypes deviceType) override;
    void close() override;
    bool canPlay() const override;
    void play(std::function<void()> onEnd) override;
    void rewind() override;
    bool atEnd() const override;
    // Through MCI's setaudio volume, for the open device and the next ones.
    void setVolume(int percent) override;
    // What the device answered to the last volume command (0: it took it).
    MCIERROR volumeError() const { return volumeError_; }

    // The open device and the window its reports go to (0 and null when
    // nothing is open); the tests send reports of their own through these.
    MCIDEVICEID deviceId() const { return device_; }
    HWND notifyWindow() const { return window_; }

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void onReport(WPARAM flags, LPARAM device);
    // Raises Exception "<what>: <MCI's text>" when error is not 0.
    void check(MCIERROR error, const std::string& what) const;
    MCIERROR queryStatus(DWORD item, DWORD_PTR& value) const;
    // Drops the reports already queued for the window.
    void dropQueuedReports();
    void applyVolume();

    std::string fileName_;
    MCIDEVICEID device_ = 0;
    // One window per open device: reports of a closed device die with its window.
    HWND window_ = nullptr;
    std::function<void()> onEnd_;
    int volume_ = 100;
    MCIERROR volumeError_ = 0;
};

}  // namespace win32
