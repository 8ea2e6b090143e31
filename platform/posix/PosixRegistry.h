// PosixRegistry.h: the settings store on POSIX, one REGEDIT4 file per user,
// shared safely by every process of the user.
#pragma once

#include <sys/types.h>

#include <ctime>
#include <functional>
#include <memory>
#include <string>

#include "platform/RegistryBackend.h"
#include "platform/core/RegFile.h"

// $XDG_CONFIG_HOME/lurva/registry.reg, with ~/.config when the variable is
// unset (or not an absolute path). Empty when no home directory is known.
std::string DefaultRegistryFilePath();

// Reads are served from a parsed copy that is reused while the file's identity
// (device, inode, size, nanosecond mtime and ctime) is unchanged; the parsed
// file stays open so its inode cannot be reused by a later file. Every change
// takes the lock file (flock), re-reads the file, applies the change and
// replaces the file atomically (temporary file, fsync, rename), so no value
// another process wrote is lost and a crash leaves the old or the new file.
// A file that cannot be parsed is renamed aside ("registry.reg.broken-...")
// and the store goes on empty, saying so on standard error.
class TPosixRegistryStore : public TRegistryBackend {
public:
    explicit TPosixRegistryStore(std::string filePath);
    ~TPosixRegistryStore() override;

    std::unique_ptr<TRegistryKeyHandle> OpenKey(TRootKey root, const std::string& path, bool canCreate) override;
    bool DeleteKey(TRootKey root, const std::string& path) override;

    const std::string& FilePath() const { return path_; }

    // The current contents; none when the file exists but cannot be read.
    const TRegTree* Snapshot();
    // Applies change under the lock and writes the file when change returns
    // true. False when nothing was written (change declined or I/O failed).
    bool Modify(const std::function<bool(TRegTree&)>& change);

    struct Identity {
        dev_t dev = 0;
        ino_t ino = 0;
        off_t size = -1;
        timespec mtime{};
        timespec ctime{};
    };

private:
    enum class LoadResult { Loaded, Absent, Unreadable, Broken };
    LoadResult Load(std::string* problem);
    // Makes tree_ match the file; false when the file exists but cannot be read.
    bool Refresh();
    bool SetAsideUnderLock(const std::string& problem);
    bool WriteUnderLock(const std::string& target, const std::string& text);
    void Report(const std::string& message);

    std::string path_;
    TRegTree tree_;
    bool cacheValid_ = false;  // tree_ matches the file identified by identity_ (or its absence)
    bool present_ = false;
    Identity identity_;
    int cacheFd_ = -1;  // the parsed file, held open
    bool lockHeld_ = false;
    std::string lastReport_;
};
