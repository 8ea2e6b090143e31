// CRegManage.h: typed settings under one per-user registry key of an application.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Classes.h"

class TRegistry;

class TRegManage {
public:
    TRegManage();   // RegManageCreate
    // The same, with the registry object made by makeRegistry (tests watch the store through it).
    explicit TRegManage(std::function<std::unique_ptr<TRegistry>()> makeRegistry);
    ~TRegManage();  // RegManageDestroy: freeReg
    TRegManage(const TRegManage&) = delete;
    TRegManage& operator=(const TRegManage&) = delete;

    // basePath := "Software\Kelvo\" + appName + "\"; must come before any keyed call.
    void init(const std::string& appName);

    // The step under every keyed operation: keeps the last opened key open.
    bool openReg(const std::string& fullKey, const std::string& valueName, bool create);
    void freeReg();

    int32_t readInteger(const std::string& key, const std::string& value, int32_t defaultValue);
    void writeInteger(const std::string& key, const std::string& value, int32_t data);
    bool readBool(const std::string& key, const std::string& value, bool defaultValue);
    void writeBool(const std::string& key, const std::string& value, bool data);
    double readDouble(const std::string& key, const std::string& value, double defaultValue);
    void writeDouble(const std::string& key, const std::string& value, double data);
    TDateTime readDateTime(const std::string& key, const std::string& value, TDateTime defaultValue);
    void writeDateTime(const std::string& key, const std::string& value, TDateTime data);
    std::string readString(const std::string& key, const std::string& value, const std::string& defaultValue);
    void writeString(const std::string& key, const std::string& value, const std::string& data);
    // Returns the stored size, or -1 (buffer untouched) when key or value is missing.
    int32_t readBinaryData(const std::string& key, const std::string& value, void* buffer, int32_t bufferSize);
    void writeBinaryData(const std::string& key, const std::string& value, const void* buffer, int32_t size);
    void delValue(const std::string& key, const std::string& value);
    void delKey(const std::string& key);
    void getValueNames(const std::string& key, std::vector<std::string>& names);

    const std::string& getBasePath() const { return basePath_; }
    const std::string& getOpenedKey() const { return openedKey_; }

private:
    std::function<std::unique_ptr<TRegistry>()> makeRegistry_;
    std::unique_ptr<TRegistry> reg_;
    std::string basePath_;
    std::string openedKey_;
};
