// CLurvaSettings.h: the settings of Lurva's own, kept in a key of its own
// (HKEY_CURRENT_USER\Software\Lurva; on Linux the same key of the settings
// file), apart from the key the show's authoring tool shares: the pixel
// scale, the monitors and the show's sound.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class TRegistry;

class TLurvaSettings {
public:
    // From the root of HKEY_CURRENT_USER.
    static constexpr const char* kKey = "\\Software\\Lurva";
    // The pixel scales there are; 1 is the raw pixels.
    static constexpr int kMinScale = 1;
    static constexpr int kMaxScale = 16;
    static constexpr int32_t kFullVolume = 100;

    TLurvaSettings();  // the platform's store
    // The same, over the registry objects made by makeRegistry (tests).
    explicit TLurvaSettings(std::function<std::unique_ptr<TRegistry>()> makeRegistry);

    // `scale`: the pixel scale (1 to 16, a number or its digits as a
    // string); none when unset, 0 or "auto": the desktop's own.
    std::optional<int> scale() const;
    // `monitors`: "primary" shows the show on the primary monitor only and
    // black on the others; "all" (the default) a show on every monitor.
    bool primaryMonitorOnly() const;
    // "mute", a DWORD: any value but 0 silences every show. False when the
    // value is missing or is not a DWORD.
    bool mute() const;
    // "volume", a DWORD from 0 (silent) to 100 (the device's full level);
    // other numbers are taken as the nearest of the two. 100 when the value
    // is missing or is not a DWORD.
    int32_t volume() const;

    // A scale as text: digits from 1 to 16; none for anything else.
    static std::optional<int> parseScale(const std::string& text);

private:
    // The value as text (a number is written in digits); none when missing
    // or unreadable.
    std::optional<std::string> readText(const std::string& name) const;
    // None when the key or the value is missing, or the value is no DWORD
    // (said on standard error: a hand-edited value should not pass unseen).
    std::optional<int32_t> readInteger(const std::string& name) const;

    std::function<std::unique_ptr<TRegistry>()> makeRegistry_;
};
