// CLurvaSettings.h: this program's own settings, under a key of its own
// (HKEY_CURRENT_USER\Software\Lurva) apart from the key that the shows'
// authoring tool shares: the show's sound.
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
    static constexpr int32_t kFullVolume = 100;

    TLurvaSettings();  // the platform's settings store
    // The same, with the registry object made by makeRegistry (tests).
    explicit TLurvaSettings(std::function<std::unique_ptr<TRegistry>()> makeRegistry);

    // "mute", a DWORD: any value but 0 silences every show. False when the
    // value is missing or is not a DWORD.
    bool mute() const;
    // "volume", a DWORD from 0 (silent) to 100 (the device's full level);
    // other numbers are taken as the nearest of the two. 100 when the value
    // is missing or is not a DWORD.
    int32_t volume() const;

private:
    // None when the key or the value is missing, or the value is no DWORD
    // (said on standard error: a hand-edited value should not pass unseen).
    std::optional<int32_t> readInteger(const std::string& name) const;

    std::function<std::unique_ptr<TRegistry>()> makeRegistry_;
};
