// PosixRegistry.cpp: the per-user REGEDIT4 settings file, with cached reads
// and locked, atomic writes.
#include "platform/posix/PosixRegistry.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "platform/posix/PosixFiles.h"

using posixfiles::writeAll;
using posixfiles::writeTarget;

namespace {

// How long a change waits for another process's change to finish.
constexpr int kLockWaitMs = 10000;
constexpr int kLockPollMs = 5;

bool sameTime(const timespec& a, const timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

TPosixRegistryStore::Identity identityOf(const struct stat& st)
{
    TPosixRegistryStore::Identity id;
    id.dev = st.st_dev;
    id.ino = st.st_ino;
    id.size = st.st_size;
    id.mtime = st.st_mtim;
    id.ctime = st.st_ctim;
    return id;
}

bool sameIdentity(const struct stat& st, const TPosixRegistryStore::Identity& id)
{
    return st.st_dev == id.dev && st.st_ino == id.ino && st.st_size == id.size && sameTime(st.st_mtim, id.mtime)
        && sameTime(st.st_ctim, id.ctime);
}

std::string errorText()
{
    return std::strerror(errno);
}

std::string parentOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// mkdir -p; new directories are private to the user.
bool makeDirs(const std::string& dir)
{
    struct stat st;
    if (::stat(dir.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    const std::string parent = parentOf(dir);
    if (parent != dir && !makeDirs(parent))
        return false;
    return ::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

bool lockWithin(int fd, int waitMs)
{
    for (int waited = 0;; waited += kLockPollMs) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        if ((errno != EWOULDBLOCK && errno != EINTR) || waited >= waitMs)
            return false;
        const timespec pause{0, kLockPollMs * 1000000L};
        ::nanosleep(&pause, nullptr);
    }
}



// An open key: its root and path; every call looks at the store afresh.
class PosixKey : public TRegistryKeyHandle {
public:
    PosixKey(TPosixRegistryStore& store, TRootKey root, std::string path)
        : store_(store), root_(root), path_(std::move(path))
    {
    }

    TRegStatus QueryValue(const std::string& name, TRegRawValue* out) override
    {
        const TRegTree* tree = store_.Snapshot();
        if (tree == nullptr)
            return TRegStatus::Failed;
        const TRegKeyNode* node = tree->Find(root_, path_);
        const TRegRawValue* value = node == nullptr ? nullptr : node->Value(name);
        if (value == nullptr)
            return TRegStatus::Missing;
        if (out != nullptr)
            *out = *value;
        return TRegStatus::Ok;
    }

    bool SetValue(const std::string& name, const TRegRawValue& value) override
    {
        if (!IsStorableValueName(name))
            return false;
        // A key deleted by another process since it was opened is made again:
        // the value is not lost.
        return store_.Modify([&](TRegTree& tree) {
            tree.Create(root_, path_).SetValue(name, value);
            return true;
        });
    }

    bool DeleteValue(const std::string& name) override
    {
        return store_.Modify([&](TRegTree& tree) {
            TRegKeyNode* node = tree.Find(root_, path_);
            return node != nullptr && node->RemoveValue(name);
        });
    }

    bool ValueNames(std::vector<std::string>& names) override
    {
        const TRegTree* tree = store_.Snapshot();
        const TRegKeyNode* node = tree == nullptr ? nullptr : tree->Find(root_, path_);
        if (node == nullptr)
            return false;
        for (const auto& entry : node->values)
            names.push_back(entry.first);
        return true;
    }

    bool SubKeyNames(std::vector<std::string>& names) override
    {
        const TRegTree* tree = store_.Snapshot();
        const TRegKeyNode* node = tree == nullptr ? nullptr : tree->Find(root_, path_);
        if (node == nullptr)
            return false;
        for (const auto& child : node->children)
            names.push_back(child->name);
        return true;
    }

private:
    TPosixRegistryStore& store_;
    TRootKey root_;
    std::string path_;
};

}  // namespace

std::string DefaultRegistryFilePath()
{
    std::string base;
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    if (configHome != nullptr && configHome[0] == '/') {
        base = configHome;
    } else {
        const char* home = std::getenv("HOME");
        if (home != nullptr && home[0] == '/') {
            base = home;
        } else {
            passwd entry{};
            passwd* found = nullptr;
            std::vector<char> buffer(16384);
            if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr
                && found->pw_dir != nullptr && found->pw_dir[0] == '/')
                base = found->pw_dir;
        }
        if (base.empty())
            return std::string();
        base += "/.config";
    }
    return base + "/lurva/registry.reg";
}

std::unique_ptr<TRegistryBackend> CreateRegistryBackend()
{
    return std::make_unique<TPosixRegistryStore>(DefaultRegistryFilePath());
}

TPosixRegistryStore::TPosixRegistryStore(std::string filePath) : path_(std::move(filePath)) {}

TPosixRegistryStore::~TPosixRegistryStore()
{
    if (cacheFd_ >= 0)
        ::close(cacheFd_);
}

void TPosixRegistryStore::Report(const std::string& message)
{
    // Said once, not at every read of the same trouble.
    if (message == lastReport_)
        return;
    lastReport_ = message;
    std::fprintf(stderr, "lurva: %s\n", message.c_str());
}

TPosixRegistryStore::LoadResult TPosixRegistryStore::Load(std::string* problem)
{
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            tree_ = TRegTree();
            present_ = false;
            cacheValid_ = true;
            if (cacheFd_ >= 0)
                ::close(cacheFd_);
            cacheFd_ = -1;
            return LoadResult::Absent;
        }
        *problem = errorText();
        return LoadResult::Unreadable;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        *problem = "not a regular file";
        ::close(fd);
        return LoadResult::Unreadable;
    }
    std::string text;
    bool tooLarge = st.st_size > static_cast<off_t>(kMaxRegFileBytes);
    if (!tooLarge) {
        text.resize(static_cast<size_t>(st.st_size));
        size_t done = 0;
        for (;;) {
            if (done == text.size()) {
                if (text.size() > kMaxRegFileBytes) {
                    tooLarge = true;
                    break;
                }
                text.resize(text.size() + 4096);  // the file grew since fstat
            }
            const ssize_t n = ::read(fd, text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                *problem = errorText();
                ::close(fd);
                return LoadResult::Unreadable;
            }
            if (n == 0)
                break;
            done += static_cast<size_t>(n);
        }
        text.resize(done);
    }
    try {
        if (tooLarge)
            throw TRegParseError(0, "the file is larger than a settings file can be");
        tree_ = ParseRegFile(text);
    } catch (const TRegParseError& e) {
        *problem = e.what();
        ::close(fd);
        cacheValid_ = false;
        return LoadResult::Broken;
    }
    identity_ = identityOf(st);
    present_ = true;
    cacheValid_ = true;
    if (cacheFd_ >= 0)
        ::close(cacheFd_);
    cacheFd_ = fd;
    return LoadResult::Loaded;
}

bool TPosixRegistryStore::Refresh()
{
    struct stat st;
    if (::stat(path_.c_str(), &st) != 0) {
        if (errno != ENOENT && errno != ENOTDIR) {
            Report("the settings file " + path_ + " cannot be read (" + errorText() + "); the defaults are used");
            cacheValid_ = false;
            return false;
        }
        if (!cacheValid_ || present_) {
            std::string ignored;
            Load(&ignored);
        }
        return true;
    }
    if (cacheValid_ && present_ && sameIdentity(st, identity_))
        return true;

    std::string problem;
    switch (Load(&problem)) {
    case LoadResult::Loaded:
    case LoadResult::Absent:
        return true;
    case LoadResult::Unreadable:
        Report("the settings file " + path_ + " cannot be read (" + problem + "); the defaults are used");
        return false;
    case LoadResult::Broken:
        break;
    }
    if (lockHeld_)
        return SetAsideUnderLock(problem);
    // Set aside only under the lock, after reading the file once more: another
    // process may have replaced it meanwhile.
    const std::string target = writeTarget(path_);
    const int lockFd =
        target.empty() ? -1 : ::open((target + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lockFd >= 0 && lockWithin(lockFd, kLockWaitMs)) {
        lockHeld_ = true;
        const bool ok = Refresh();
        lockHeld_ = false;
        ::close(lockFd);
        return ok;
    }
    if (lockFd >= 0)
        ::close(lockFd);
    Report("the settings file " + path_ + " cannot be read (" + problem + "); it is left as it is and the defaults are used");
    tree_ = TRegTree();
    cacheValid_ = false;
    return true;
}

bool TPosixRegistryStore::SetAsideUnderLock(const std::string& problem)
{
    char stamp[32];
    const time_t now = ::time(nullptr);
    tm local{};
    ::localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    std::string aside = path_ + ".broken-" + stamp;
    struct stat st;
    for (int n = 2; ::lstat(aside.c_str(), &st) == 0 && n < 1000; ++n)
        aside = path_ + ".broken-" + stamp + "-" + std::to_string(n);
    if (::rename(path_.c_str(), aside.c_str()) != 0) {
        // Never overwrite what could not be kept aside.
        Report("the settings file " + path_ + " cannot be read (" + problem + ") nor be set aside (" + errorText()
            + "); the defaults are used and no setting can be saved");
        cacheValid_ = false;
        return false;
    }
    Report("the settings file " + path_ + " cannot be read (" + problem + "); it was kept as " + aside
        + " and the defaults are used");
    tree_ = TRegTree();
    present_ = false;
    cacheValid_ = true;
    if (cacheFd_ >= 0)
        ::close(cacheFd_);
    cacheFd_ = -1;
    return true;
}

const TRegTree* TPosixRegistryStore::Snapshot()
{
    return Refresh() ? &tree_ : nullptr;
}

bool TPosixRegistryStore::Modify(const std::function<bool(TRegTree&)>& change)
{
    if (path_.empty())
        return false;
    const std::string target = writeTarget(path_);
    if (target.empty() || !makeDirs(parentOf(target)))
        return false;
    const std::string lockPath = target + ".lock";
    const int lockFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lockFd < 0)
        return false;
    if (!lockWithin(lockFd, kLockWaitMs)) {
        ::close(lockFd);
        return false;
    }
    lockHeld_ = true;
    bool ok = Refresh() && change(tree_);
    if (ok) {
        // tree_ no longer matches the file until the new file is in place.
        cacheValid_ = false;
        ok = WriteUnderLock(target, SerializeRegFile(tree_));
    }
    lockHeld_ = false;
    ::close(lockFd);
    return ok;
}

bool TPosixRegistryStore::WriteUnderLock(const std::string& target, const std::string& text)
{
    const std::string temp = target + ".tmp";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return false;
    struct stat old;
    if (::stat(target.c_str(), &old) == 0)
        ::fchmod(fd, old.st_mode & 07777);
    if (!writeAll(fd, text) || ::fsync(fd) != 0 || ::rename(temp.c_str(), target.c_str()) != 0) {
        ::close(fd);
        ::unlink(temp.c_str());
        return false;
    }
    const int dirFd = ::open(parentOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    struct stat now;
    if (::fstat(fd, &now) != 0) {
        ::close(fd);
        return true;  // written; the next read parses it again
    }
    identity_ = identityOf(now);
    present_ = true;
    cacheValid_ = true;
    if (cacheFd_ >= 0)
        ::close(cacheFd_);
    cacheFd_ = fd;
    return true;
}

std::unique_ptr<TRegistryKeyHandle> TPosixRegistryStore::OpenKey(TRootKey root, const std::string& path, bool canCreate)
{
    const TRegTree* tree = Snapshot();
    if (tree != nullptr && tree->Find(root, path) != nullptr)
        return std::make_unique<PosixKey>(*this, root, path);
    if (!canCreate || tree == nullptr)
        return nullptr;
    for (const std::string_view name : SplitKeyPath(path))
        if (!IsStorableKeyName(name))
            return nullptr;
    const bool created = Modify([&](TRegTree& fresh) {
        fresh.Create(root, path);
        return true;
    });
    return created ? std::make_unique<PosixKey>(*this, root, path) : nullptr;
}

bool TPosixRegistryStore::DeleteKey(TRootKey root, const std::string& path)
{
    return Modify([&](TRegTree& tree) { return tree.Remove(root, path); });
}
