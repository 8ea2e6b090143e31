// CSetting.cpp: the show settings; the background picture and the music are
// used from copies in the work directory.
#include "model/CSetting.h"

#include "config/CData.h"
#include "platform/SysUtils.h"

TSetting::TSetting() = default;

TSetting::~TSetting() = default;

void TSetting::setBackFile(const std::string& path)
{
    // The old picture goes first, also when what follows fails.
    backPicture_.reset();
    if (!FileExists(path))
        return;
    backFile_ = copyFileTo(path, getWorkDir() + ExtractFileName(path));
    backPicture_ = std::make_unique<TPicture>();
    backPicture_->LoadFromFile(backFile_);
}

const TGraphic* TSetting::getBackGraphic() const
{
    return backPicture_ ? backPicture_->Graphic() : nullptr;
}

void TSetting::setBgmFile(const std::string& path)
{
    if (!FileExists(path))
        return;
    bgmFile_ = copyFileTo(path, getWorkDir() + ExtractFileName(path));
}
