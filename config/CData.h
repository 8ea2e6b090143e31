// CData.h: the data module that owns the settings store, and the work
// directory into which a show's embedded files are unpacked.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
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
// It is private to the user (see ForcePrivateDirectory in platform/SysUtils.h):
// when something else stands at its place, nothing is reported here and the
// first file creation in it fails with EFCreateError.
std::string getWorkDir();
// Points this process's work directory at dir instead of the platform's
// private temporary folder; none (or an empty text) points it back. For tools
// that keep their own directory and empty it at the end, and for tests. dir
// must belong to the user like the usual one; it is created when missing.
void setWorkDirOverride(std::optional<std::string> dir);
// The directory set by setWorkDirOverride; none when the usual one serves.
std::optional<std::string> getWorkDirOverride();
// Deletes every file directly in dir (ending in a separator): files and links
// themselves, never what a link points to, never subdirectories. Ignores
// failures; does nothing when dir is not a real directory of the user's.
void deleteFilesIn(const std::string& dir);
// Copies count bytes from source's position into a new file named stem + N +
// extension of wishedPath (the first N of 0..999 under which nothing exists;
// stem999 is replaced when all exist) and returns the path written. A count of
// 0 writes an empty file; a negative count raises ERangeError before anything
// is created. EFCreateError when the file cannot be created; EReadError when
// source runs short (the file keeps what was copied).
std::string writeStreamToFile(TStream& source, const std::string& wishedPath, int32_t count);
// Copies the whole file source under a fresh numbered name made from
// wishedPath, as writeStreamToFile does. EFOpenError when source cannot be opened.
std::string copyFileTo(const std::string& source, const std::string& wishedPath);
