// CRegManage.cpp: typed settings under one per-user registry key of an
// application, keeping the last opened key open between calls.
#include "config/CRegManage.h"

#include <utility>

#include "platform/Registry.h"

TRegManage::TRegManage() : TRegManage([] { return std::make_unique<TRegistry>(); }) {}

TRegManage::TRegManage(std::function<std::unique_ptr<TRegistry>()> makeRegistry)
    : makeRegistry_(std::move(makeRegistry))
{
}

TRegManage::~TRegManage()
{
    freeReg();
}

void TRegManage::init(const std::string& appName)
{
    basePath_ = "Software\\Kelvo\\" + appName + "\\";
}

bool TRegManage::openReg(const std::string& fullKey, const std::string& valueName, bool create)
{
    if (!reg_) {
        reg_ = makeRegistry_();
        reg_->SetRootKey(TRootKey::CurrentUser);
    }
    if (fullKey != openedKey_) {
        if (!openedKey_.empty()) {
            reg_->CloseKey();
            openedKey_.clear();
        }
        // Always from the root: nothing is opened relative to an open key.
        reg_->CloseKey();
        if (!reg_->OpenKey(fullKey, create))
            return false;
        openedKey_ = fullKey;
    }
    if (valueName.empty())
        return true;
    return create || reg_->ValueExists(valueName);
}

void TRegManage::freeReg()
{
    if (reg_) {
        reg_->CloseKey();
        reg_.reset();
    }
    openedKey_.clear();
}

int32_t TRegManage::readInteger(const std::string& key, const std::string& value, int32_t defaultValue)
{
    if (!openReg(basePath_ + key, value, false))
        return defaultValue;
    return reg_->ReadInteger(value);
}

void TRegManage::writeInteger(const std::string& key, const std::string& value, int32_t data)
{
    openReg(basePath_ + key, value, true);
    reg_->WriteInteger(value, data);
}

bool TRegManage::readBool(const std::string& key, const std::string& value, bool defaultValue)
{
    if (!openReg(basePath_ + key, value, false))
        return defaultValue;
    return reg_->ReadBool(value);
}

void TRegManage::writeBool(const std::string& key, const std::string& value, bool data)
{
    openReg(basePath_ + key, value, true);
    reg_->WriteBool(value, data);
}

double TRegManage::readDouble(const std::string& key, const std::string& value, double defaultValue)
{
    if (!openReg(basePath_ + key, value, false))
        return defaultValue;
    return reg_->ReadFloat(value);
}

void TRegManage::writeDouble(const std::string& key, const std::string& value, double data)
{
    openReg(basePath_ + key, value, true);
    reg_->WriteFloat(value, data);
}

TDateTime TRegManage::readDateTime(const std::string& key, const std::string& value, TDateTime defaultValue)
{
    if (!openReg(basePath_ + key, value, false))
        return defaultValue;
    return reg_->ReadDateTime(value);
}

void TRegManage::writeDateTime(const std::string& key, const std::string& value, TDateTime data)
{
    openReg(basePath_ + key, value, true);
    reg_->WriteDateTime(value, data);
}

std::string TRegManage::readString(const std::string& key, const std::string& value, const std::string& defaultValue)
{
    if (!openReg(basePath_ + key, value, false))
        return defaultValue;
    return reg_->ReadString(value);
}

void TRegManage::writeString(const std::string& key, const std::string& value, const std::string& data)
{
    openReg(basePath_ + key, value, true);
    reg_->WriteString(value, data);
}

int32_t TRegManage::readBinaryData(const std::string& key, const std::string& value, void* buffer, int32_t bufferSize)
{
    if (!openReg(basePath_ + key, value, false))
        return -1;
    return reg_->ReadBinaryData(value, buffer, bufferSize);
}

void TRegManage::writeBinaryData(const std::string& key, const std::string& value, const void* buffer, int32_t size)
{
    openReg(basePath_ + key, value, true);
    reg_->WriteBinaryData(value, buffer, size);
}

void TRegManage::delValue(const std::string& key, const std::string& value)
{
    if (openReg(basePath_ + key, value, false))
        reg_->DeleteValue(value);  // a failed delete is ignored
}

void TRegManage::delKey(const std::string& key)
{
    if (openReg(basePath_, "", false))
        reg_->DeleteKey(key);
}

void TRegManage::getValueNames(const std::string& key, std::vector<std::string>& names)
{
    if (!openReg(basePath_ + key, "", false))
        return;
    std::vector<std::string> found;
    reg_->GetValueNames(found);
    names.clear();
    names.insert(names.end(), found.begin(), found.end());
}
