// CCharactorList.h: the show in memory: its characters in load order, the
// length of one loop, and the show settings.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/CCharactor.h"
#include "model/CSetting.h"

class TQDStream;

class TCharactorList {
public:
    static constexpr uint32_t kDefaultLoopTime = 60;  // seconds

    TCharactorList();   // CharactorListCreate: no characters, 60 seconds, fresh settings
    ~TCharactorList();  // CharactorListDestroy
    TCharactorList(const TCharactorList&) = delete;
    TCharactorList& operator=(const TCharactorList&) = delete;

    // Releases every character; the loop time and the settings stay.
    void clear();
    int32_t getCount() const { return static_cast<int32_t>(charactors_.size()); }
    // The most characters one show holds: shows were made for screens of up
    // to 1600 x 1200, where a thousand characters is far beyond any show.
    static constexpr int32_t kMaxCharactors = 1000;
    // A new character at the end, owned by the list. EShowTooLarge, before
    // anything is allocated, when the list already holds kMaxCharactors.
    TCharactor& add();
    // None when index is not in 0 .. getCount() - 1.
    TCharactor* getCharactor(int32_t index) const;
    void setLoopTime(uint32_t seconds) { loopTime_ = seconds; }
    uint32_t getLoopTime() const { return loopTime_; }
    TSetting& getSetting() { return *setting_; }
    const TSetting& getSetting() const { return *setting_; }

    // Reads a data file of the old fixed layout (version 110 and below) into
    // this list and its settings, saving its bitmaps into the work directory
    // as "chara<i>_<f>.bmp" and "oldback.bmp". False, list unchanged: no such
    // file, no "QDsm" magic, a version from 132 up (no message). A file that
    // ends early raises EReadError (loadScrSavData turns it into false); the
    // errors of the bitmap reader and of the work directory pass.
    //
    // The bytes are the data file side's business: both forms are defined
    // with the loaders (datafile/CCharactorListLegacy.cpp), so the model
    // never includes them.
    bool loadOldScrSavData(const std::string& fileName);
    // The same from a stream already open and past the header, whose version
    // (below 111) was read there: how loadScrSavData hands an old file over.
    bool loadOldScrSavData(TQDStream& stream, int32_t version);

private:
    std::vector<std::unique_ptr<TCharactor>> charactors_;
    uint32_t loopTime_ = kDefaultLoopTime;
    std::unique_ptr<TSetting> setting_;
};
