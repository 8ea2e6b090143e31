// WorkSession.cpp: sdtool's private work directory and message recorder.
#include "tools/sdtool/WorkSession.h"

#include <stdexcept>

#include "config/CData.h"
#include "platform/SysUtils.h"

PrivateWorkDir::PrivateWorkDir()
{
    const auto dir = CreateUniqueTempDirectory("sdtool-");
    if (!dir)
        throw std::runtime_error("cannot create a private work directory in " + GetTempDirectory());
    dir_ = IncludeTrailingPathDelimiter(*dir);
    setWorkDirOverride(dir_);
}

PrivateWorkDir::~PrivateWorkDir()
{
    setWorkDirOverride(std::nullopt);
    deleteFilesIn(dir_);
    RemoveDir(ExcludeTrailingPathDelimiter(dir_));
}

void PrivateWorkDir::empty()
{
    deleteFilesIn(dir_);
}

MessageLog::MessageLog()
    : previous_(setShowMessageHandler([this](const std::string& text) { messages_.push_back(text); }))
{
}

MessageLog::~MessageLog()
{
    setShowMessageHandler(std::move(previous_));
}
