// CData.h: the data module that owns the settings store, and the work
// directory into which a show's embedded files are unpacked.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "config/CRegManage.h"

class TStream;

class TData {
public:
    TData();   // DataCreate: a store initialised for "rororade"
    ~TData();  // DataDestroy
    TData(const TData&) = delete;
    TData& operator=(const TData&) = delete;

    TRegManage& regManage() { return *regManage_; }

private:
    std::unique_ptr<TRegManage> regManage_;
};

// The process-wide instance. The window that starts the process owns it and
// clears this pointer when it frees it; everyone else borrows it.
extern TData* Data;

// The work directory's path, ending in a path separator; created when missing.
std::string getWorkDir();
// Deletes every file directly in dir (ending in a separator); ignores failures.
void deleteFilesIn(const std::string& dir);
// Copies count bytes from source's position into stem + N + extension of
// wishedPath (the first free N of 0..999) and returns the path written.
std::string writeStreamToFile(TStream& source, const std::string& wishedPath, int32_t count);
// Copies the whole file source under a fresh numbered name made from wishedPath.
std::string copyFileTo(const std::string& source, const std::string& wishedPath);
