// fuzz_sdt.cpp: feeds arbitrary bytes to the data file loader as the bytes of
// a data file in memory, with the work directory in a private folder emptied
// after every input; aborts when a load writes anything outside it or breaks
// the show's shape.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "config/CData.h"
#include "datafile/CFileManage.h"
#include "model/CCharactorList.h"
#include "platform/Dialogs.h"
#include "platform/Exceptions.h"
#include "platform/SysUtils.h"

namespace {

// One private folder for the whole run, holding the work directory.
class FuzzFolder {
public:
    FuzzFolder()
    {
        const auto dir = CreateUniqueTempDirectory("lurva-fuzz-sdt-");
        if (!dir)
            std::abort();
        root_ = IncludeTrailingPathDelimiter(*dir);
        work_ = root_ + "work" + PathDelim;
        CreateDir(work_);
        setWorkDirOverride(work_);
        setShowMessageHandler([](const std::string&) {});
    }
    ~FuzzFolder()
    {
        deleteFilesIn(work_);
        RemoveDir(ExcludeTrailingPathDelimiter(work_));
        RemoveDir(ExcludeTrailingPathDelimiter(root_));
    }
    FuzzFolder(const FuzzFolder&) = delete;
    FuzzFolder& operator=(const FuzzFolder&) = delete;

    const std::string& root() const { return root_; }
    const std::string& work() const { return work_; }

private:
    std::string root_;
    std::string work_;
};

void checkShape(const TCharactorList& list)
{
    for (int32_t i = 0; i < list.getCount(); ++i) {
        const TCharactor* c = list.getCharactor(i);
        if (!c || c->getPointCount() != TCharactor::kPointCount || c->getGraphicCount() > TCharactor::kSlotCount)
            std::abort();
        for (int32_t slot = 0; slot < c->getGraphicCount(); ++slot)
            if (!c->getMask(slot) || !c->getGraphic(slot) ||
                c->getMask(slot)->Width() != c->getGraphic(slot)->Width())
                std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static FuzzFolder folder;
    {
        TCharactorList list;
        try {
            loadScrSavDataFromMemory(std::vector<uint8_t>(data, data + size), list);
        } catch (const Exception&) {
            // errors of the picture readers and the work directory pass to the caller
        }
        checkShape(list);
    }
    // Only the work directory may be in the folder.
    if (!ListFiles(folder.root()).empty())
        std::abort();
    deleteFilesIn(folder.work());
    return 0;
}
