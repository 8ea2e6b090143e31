// CLurvaSettings.cpp: reading this program's own settings key.
#include "config/CLurvaSettings.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "platform/Exceptions.h"
#include "platform/Registry.h"

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

bool TLurvaSettings::mute() const
{
    return readInteger("mute").value_or(0) != 0;
}

int32_t TLurvaSettings::volume() const
{
    return std::clamp(readInteger("volume").value_or(kFullVolume), 0, kFullVolume);
}
