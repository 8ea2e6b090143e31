// CLurvaSettings.cpp: reading Lurva's own settings. A value that does not make
// sense is named on standard error and the default is used: the show must
// still start.
#include "config/CLurvaSettings.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "platform/Exceptions.h"
#include "platform/Registry.h"

namespace {

void reportIgnored(const std::string& name, const std::string& value, const char* expected)
{
    std::fprintf(stderr, "lurva: the setting %s=%s is ignored: %s\n", name.c_str(), value.c_str(), expected);
    std::fflush(stderr);
}

}  // namespace

TLurvaSettings::TLurvaSettings() : TLurvaSettings([] { return std::make_unique<TRegistry>(); }) {}

TLurvaSettings::TLurvaSettings(std::function<std::unique_ptr<TRegistry>()> makeRegistry)
    : makeRegistry_(std::move(makeRegistry))
{
}

std::optional<int32_t> TLurvaSettings::readInteger(const std::string& name) const
{
    const std::unique_ptr<TRegistry> registry = makeRegistry_();
    registry->SetRootKey(TRootKey::CurrentUser);
    if (!registry->OpenKey(kKey, false) || !registry->ValueExists(name))
        return std::nullopt;
    try {
        return registry->ReadInteger(name);
    } catch (const ERegistryException& e) {
        std::fprintf(stderr, "lurva: the setting %s\\%s is ignored: %s\n", kKey + 1, name.c_str(), e.Message().c_str());
        std::fflush(stderr);
        return std::nullopt;
    }
}

std::optional<std::string> TLurvaSettings::readText(const std::string& name) const
{
    try {
        std::unique_ptr<TRegistry> registry = makeRegistry_();
        registry->SetRootKey(TRootKey::CurrentUser);
        if (!registry->OpenKey(kKey, false) || !registry->ValueExists(name))
            return std::nullopt;
        if (registry->GetDataType(name) == TRegDataType::rdInteger)
            return std::to_string(registry->ReadInteger(name));
        return registry->ReadString(name);
    } catch (const Exception& e) {
        reportIgnored(name, "?", e.Message().c_str());
        return std::nullopt;
    }
}

bool TLurvaSettings::mute() const
{
    return readInteger("mute").value_or(0) != 0;
}

int32_t TLurvaSettings::volume() const
{
    return std::clamp(readInteger("volume").value_or(kFullVolume), 0, kFullVolume);
}

std::optional<int> TLurvaSettings::parseScale(const std::string& text)
{
    if (text.empty() || text.size() > 2)
        return std::nullopt;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > kMaxScale)
        return std::nullopt;
    return value;
}

std::optional<int> TLurvaSettings::scale() const
{
    const std::optional<std::string> text = readText("scale");
    if (!text || *text == "0" || *text == "auto")
        return std::nullopt;
    const std::optional<int> value = parseScale(*text);
    if (!value)
        reportIgnored("scale", *text, "a whole number from 1 to 16, or auto");
    return value;
}

bool TLurvaSettings::primaryMonitorOnly() const
{
    const std::optional<std::string> text = readText("monitors");
    if (!text || *text == "all")
        return false;
    if (*text == "primary")
        return true;
    reportIgnored("monitors", *text, "all or primary");
    return false;
}
