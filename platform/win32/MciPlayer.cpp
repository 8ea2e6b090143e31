// MciPlayer.cpp: music through the Media Control Interface (the sequencer for
// MIDI files): commands wait for the device, and the end of the piece comes
// back as MM_MCINOTIFY to a message-only window on the UI thread.
#include "platform/win32/MciPlayer.h"

#include <digitalv.h>

#include <algorithm>
#include <cstdio>
#include <utility>

#include "platform/Exceptions.h"
#include "platform/win32/WinText.h"

namespace win32 {
namespace {

constexpr wchar_t kWindowClass[] = L"LurvaMciReports";

// The MCI device type that plays files of a device type; none for types
// that have no device playing files.
const wchar_t* mciDeviceType(TMPDeviceTypes type)
{
    switch (type) {
    case dtSequencer: return L"sequencer";
    case dtWaveAudio: return L"waveaudio";
    case dtAVIVideo: return L"avivideo";
    // The DirectShow device, which plays most video formats.
    case dtDigitalVideo: return L"mpegvideo";
    default: return nullptr;
    }
}

std::string mciErrorText(MCIERROR error)
{
    wchar_t text[MAXERRORLENGTH] = {};
    if (!mciGetErrorStringW(error, text, MAXERRORLENGTH) || text[0] == L'\0')
        return "MCI error " + std::to_string(error);
    return toUtf8(text);
}

ATOM registerWindowClass(WNDPROC procedure)
{
    static const ATOM atom = [procedure] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kWindowClass;
        return RegisterClassExW(&windowClass);
    }();
    return atom;
}

// The name to give MCI for a file. MCI drivers may read the element name in
// the ANSI code page (wine's always do), so a name the code page cannot spell
// goes by its short alias, when the volume keeps one.
std::wstring elementName(const std::wstring& path)
{
    BOOL lossy = FALSE;
    const int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, path.c_str(), -1, nullptr, 0, nullptr, &lossy);
    if (length > 0 && !lossy)
        return path;
    const DWORD size = GetShortPathNameW(path.c_str(), nullptr, 0);
    if (size == 0)
        return path;
    std::wstring shortPath(size, L'\0');
    const DWORD written = GetShortPathNameW(path.c_str(), shortPath.data(), size);
    if (written == 0 || written >= size)
        return path;
    shortPath.resize(written);
    return shortPath;
}

}  // namespace

MciPlayer::~MciPlayer()
{
    close();
}

void MciPlayer::open(const std::string& fileName, TMPDeviceTypes deviceType)
{
    close();
    const std::string prefix = "Cannot open music \"" + fileName + "\": ";
    const wchar_t* type = mciDeviceType(deviceType);
    if (type == nullptr)
        throw Exception(prefix + "no MCI device plays this device type");
    if (registerWindowClass(&MciPlayer::windowProc) == 0)
        throw Exception(prefix + "no window for the device's reports (" + lastErrorText() + ")");
    window_ = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    if (window_ == nullptr)
        throw Exception(prefix + "no window for the device's reports (" + lastErrorText() + ")");
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));

    // The structure rather than a command string: the path needs no quoting.
    const std::wstring element = elementName(toWide(fileName));
    MCI_OPEN_PARMSW parameters{};
    parameters.lpstrDeviceType = type;
    parameters.lpstrElementName = element.c_str();
    const MCIERROR error = mciSendCommandW(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT | MCI_WAIT,
                                           reinterpret_cast<DWORD_PTR>(&parameters));
    if (error != 0) {
        close();
        throw Exception(prefix + mciErrorText(error));
    }
    device_ = parameters.wDeviceID;
    fileName_ = fileName;
    try {
        // A piece without length would end as soon as it starts, over and over.
        DWORD_PTR length = 0;
        check(queryStatus(MCI_STATUS_LENGTH, length), "cannot read the length");
        if (length == 0)
            throw Exception("the piece has no length");
        MCI_SEEK_PARMS seek{};
        check(mciSendCommandW(device_, MCI_SEEK, MCI_SEEK_TO_START | MCI_WAIT, reinterpret_cast<DWORD_PTR>(&seek)),
              "cannot go to the start");
    } catch (const Exception& e) {
        close();
        throw Exception(prefix + e.Message());
    }
    if (volume_ < 100)
        applyVolume();
}

void MciPlayer::setVolume(int percent)
{
    volume_ = std::clamp(percent, 0, 100);
    if (device_ != 0)
        applyVolume();
}

void MciPlayer::applyVolume()
{
    // MCI's "setaudio ... volume to N" counts in tenths of a percent. A
    // device without a volume control refuses it and plays at its own level.
    MCI_DGV_SETAUDIO_PARMSW parameters{};
    parameters.dwItem = MCI_DGV_SETAUDIO_VOLUME;
    parameters.dwValue = static_cast<DWORD>(volume_) * 10;
    volumeError_ = mciSendCommandW(device_, MCI_SETAUDIO, MCI_DGV_SETAUDIO_ITEM | MCI_DGV_SETAUDIO_VALUE | MCI_WAIT,
                                   reinterpret_cast<DWORD_PTR>(&parameters));
    if (volumeError_ != 0) {
        std::fprintf(stderr, "lurva: the music plays at the device's own volume: %s\n", mciErrorText(volumeError_).c_str());
        std::fflush(stderr);
    }
}

void MciPlayer::close()
{
    onEnd_ = nullptr;
    if (device_ != 0) {
        MCI_GENERIC_PARMS parameters{};
        mciSendCommandW(device_, MCI_CLOSE, MCI_WAIT, reinterpret_cast<DWORD_PTR>(&parameters));
        device_ = 0;
    }
    if (window_ != nullptr) {
        // Reports already queued for the window are dropped with it.
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        dropQueuedReports();
        DestroyWindow(window_);
        window_ = nullptr;
    }
    fileName_.clear();
}

bool MciPlayer::canPlay() const
{
    if (device_ == 0)
        return false;
    MCI_GETDEVCAPS_PARMS parameters{};
    parameters.dwItem = MCI_GETDEVCAPS_CAN_PLAY;
    if (mciSendCommandW(device_, MCI_GETDEVCAPS, MCI_GETDEVCAPS_ITEM | MCI_WAIT,
                        reinterpret_cast<DWORD_PTR>(&parameters)) != 0)
        return false;
    return parameters.dwReturn != FALSE;
}

void MciPlayer::play(std::function<void()> onEnd)
{
    if (device_ == 0)
        throw Exception("Cannot play music: nothing is open");
    onEnd_ = std::move(onEnd);
    // With a report asked for, MCI reports the end of this play as successful
    // and an earlier play's report as superseded.
    MCI_PLAY_PARMS parameters{};
    parameters.dwCallback = reinterpret_cast<DWORD_PTR>(window_);
    check(mciSendCommandW(device_, MCI_PLAY, MCI_NOTIFY, reinterpret_cast<DWORD_PTR>(&parameters)),
          "Cannot play music \"" + fileName_ + "\"");
}

void MciPlayer::rewind()
{
    if (device_ == 0)
        return;
    onEnd_ = nullptr;
    MCI_GENERIC_PARMS stop{};
    check(mciSendCommandW(device_, MCI_STOP, MCI_WAIT, reinterpret_cast<DWORD_PTR>(&stop)),
          "Cannot stop music \"" + fileName_ + "\"");
    MCI_SEEK_PARMS seek{};
    check(mciSendCommandW(device_, MCI_SEEK, MCI_SEEK_TO_START | MCI_WAIT, reinterpret_cast<DWORD_PTR>(&seek)),
          "Cannot rewind music \"" + fileName_ + "\"");
    // A report of the end the piece may have reached just before must not end the next play.
    dropQueuedReports();
}

bool MciPlayer::atEnd() const
{
    if (device_ == 0)
        return false;
    // A device that cannot tell is not at the end: the next play then shows the fault.
    DWORD_PTR length = 0;
    DWORD_PTR position = 0;
    return queryStatus(MCI_STATUS_LENGTH, length) == 0 && queryStatus(MCI_STATUS_POSITION, position) == 0 && length > 0
        && position >= length;
}

LRESULT CALLBACK MciPlayer::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == MM_MCINOTIFY) {
        if (auto* player = reinterpret_cast<MciPlayer*>(GetWindowLongPtrW(window, GWLP_USERDATA)))
            player->onReport(wParam, lParam);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void MciPlayer::onReport(WPARAM flags, LPARAM device)
{
    // Superseded and aborted plays, failures and other devices end nothing.
    if (flags != MCI_NOTIFY_SUCCESSFUL || device_ == 0 || static_cast<MCIDEVICEID>(device) != device_)
        return;
    if (auto onEnd = std::exchange(onEnd_, nullptr))
        onEnd();
}

void MciPlayer::check(MCIERROR error, const std::string& what) const
{
    if (error != 0)
        throw Exception(what + ": " + mciErrorText(error));
}

MCIERROR MciPlayer::queryStatus(DWORD item, DWORD_PTR& value) const
{
    MCI_STATUS_PARMS parameters{};
    parameters.dwItem = item;
    const MCIERROR error = mciSendCommandW(device_, MCI_STATUS, MCI_STATUS_ITEM | MCI_WAIT,
                                           reinterpret_cast<DWORD_PTR>(&parameters));
    value = error == 0 ? parameters.dwReturn : 0;
    return error;
}


void MciPlayer::dropQueuedReports()
{
    MSG message;
    while (PeekMessageW(&message, window_, MM_MCINOTIFY, MM_MCINOTIFY, PM_REMOVE)) {
    }
}

}  // namespace win32

std::unique_ptr<MediaPlayerBackend> makeNativeMediaPlayerBackend()
{
    return std::make_unique<win32::MciPlayer>();
}
