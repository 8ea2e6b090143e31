// CData.cpp: the data module owning the settings store, and the work
// directory with the numbered files unpacked into it.
#include "config/CData.h"

#include <utility>

#include "platform/Classes.h"
#include "platform/Exceptions.h"
#include "platform/SysUtils.h"

namespace {
constexpr int kLastNumber = 999;

std::optional<std::string>& workDirOverride()
{
    static std::optional<std::string> dir;
    return dir;
}

// The numbering of writeStreamToFile with a 64-bit count, so that copyFileTo
// copies a file of any size whole.
std::string copyToNumberedFile(TStream& source, const std::string& wishedPath, int64_t count)
{
    if (count < 0)
        throw ERangeError();
    const std::string extension = ExtractFileExt(wishedPath);
    const std::string stem = wishedPath.substr(0, wishedPath.size() - extension.size());

    // The number goes after whatever the stem ends with ("back0.bmp" gives
    // "back00.bmp"); the show model's copies of unpacked files rely on it.
    // Each name is tried by creating it exclusively, so a name taken between
    // looking and creating is skipped rather than overwritten.
    std::string path;
    std::unique_ptr<TFileStream> file;
    for (int number = 0; number <= kLastNumber && !file; ++number) {
        path = stem + std::to_string(number) + extension;
        file = CreateNewFile(path, ExistingEntry::Keep);
    }
    if (!file) {
        path = stem + std::to_string(kLastNumber) + extension;
        file = CreateNewFile(path, ExistingEntry::Replace);
    }
    file->CopyFrom(source, count);
    return path;
}
}  // namespace

TData* Data = nullptr;

TData::TData() : regManage_(std::make_unique<TRegManage>())
{
    regManage_->init("rororade");
}

TData::~TData() = default;

std::string getWorkDir()
{
    const auto& chosen = workDirOverride();
    const std::string dir = chosen ? *chosen : GetPrivateTempDirectory("lurva");
    ForcePrivateDirectory(dir);  // a failure shows at the first file creation
    return IncludeTrailingPathDelimiter(ExcludeTrailingPathDelimiter(dir));
}

std::optional<std::string> getWorkDirOverride()
{
    return workDirOverride();
}

void setWorkDirOverride(std::optional<std::string> dir)
{
    if (dir && dir->empty())
        dir.reset();
    workDirOverride() = std::move(dir);
}

void deleteFilesIn(const std::string& dir)
{
    DeleteFilesInPrivateDirectory(dir);
}

std::string writeStreamToFile(TStream& source, const std::string& wishedPath, int32_t count)
{
    return copyToNumberedFile(source, wishedPath, count);
}

std::string copyFileTo(const std::string& source, const std::string& wishedPath)
{
    TFileStream input(source, fmOpenRead);
    input.Seek(0, soFromBeginning);
    return copyToNumberedFile(input, wishedPath, input.Size());
}
