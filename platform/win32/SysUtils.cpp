// SysUtils.cpp: files, folders and private folders on Windows (UTF-16 API).
#include <windows.h>
#undef DeleteFile  // <windows.h> maps it to DeleteFileW; ours is the portable one

#include "platform/SysUtils.h"

#include <algorithm>
#include <random>

#include "platform/Exceptions.h"
#include "platform/win32/WinText.h"

namespace {
constexpr DWORD kNoAttributes = INVALID_FILE_ATTRIBUTES;

DWORD attributesOf(const std::string& path)
{
    return GetFileAttributesW(win32::toWide(path).c_str());
}

bool isFolder(DWORD attributes)
{
    return attributes != kNoAttributes && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A link or junction: deleting it removes the link, never its target.
bool isLink(DWORD attributes)
{
    return attributes != kNoAttributes && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// A real folder, not a link or junction to one (which could lead anywhere).
// An empty name is no folder (never taken for the current one).
bool isRealFolder(const std::string& dir)
{
    const DWORD attributes = dir.empty() ? kNoAttributes : attributesOf(dir);
    return isFolder(attributes) && !isLink(attributes);
}

// Removes one entry that is not a real folder: a file, or a link (a link to a
// folder is itself a folder entry and goes with RemoveDirectoryW).
bool deleteEntry(const std::wstring& path, DWORD attributes)
{
    if (isFolder(attributes))
        return isLink(attributes) && RemoveDirectoryW(path.c_str()) != 0;
    return DeleteFileW(path.c_str()) != 0;
}

// Calls visit(name, attributes) for every entry of dir but "." and "..".
template <typename Visit>
void forEachEntry(const std::string& dir, Visit visit)
{
    const std::wstring pattern = win32::toWide(IncludeTrailingPathDelimiter(dir)) + L"*";
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring_view name(found.cFileName);
        if (name != L"." && name != L"..")
            visit(std::wstring(name), found.dwFileAttributes);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}
}  // namespace

std::string ExpandFileName(const std::string& path)
{
    if (path.empty())
        return path;
    const std::wstring wide = win32::toWide(path);
    const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return path;
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed)
        return path;
    return win32::toUtf8(std::wstring_view(full.data(), length));
}

bool FileExists(const std::string& path)
{
    const DWORD attributes = attributesOf(path);
    return attributes != kNoAttributes && !isFolder(attributes);
}

bool DirectoryExists(const std::string& path)
{
    return isFolder(attributesOf(path));
}

bool EntryExists(const std::string& path)
{
    return attributesOf(path) != kNoAttributes;
}

bool CreateDir(const std::string& dir)
{
    return CreateDirectoryW(win32::toWide(dir).c_str(), nullptr) != 0;
}

bool ForceDirectories(const std::string& dir)
{
    const std::string path = ExcludeTrailingPathDelimiter(dir);
    if (path.empty())
        return false;
    // Every prefix that ends before a separator, the drive ("C:") and the
    // leading separators of a UNC or rooted path excluded.
    for (size_t i = 1; i < path.size(); ++i) {
        if ((path[i] == '\\' || path[i] == '/') && path[i - 1] != ':' && path[i - 1] != '\\' && path[i - 1] != '/')
            CreateDirectoryW(win32::toWide(path.substr(0, i)).c_str(), nullptr);
    }
    CreateDirectoryW(win32::toWide(path).c_str(), nullptr);
    return DirectoryExists(path);
}

bool DeleteFile(const std::string& path)
{
    const std::wstring name = win32::toWide(path);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    return attributes != kNoAttributes && deleteEntry(name, attributes);
}

bool RemoveDir(const std::string& dir)
{
    return RemoveDirectoryW(win32::toWide(dir).c_str()) != 0;
}

std::vector<std::string> ListFiles(const std::string& dir)
{
    std::vector<std::string> names;
    forEachEntry(dir, [&](const std::wstring& name, DWORD attributes) {
        if (!isFolder(attributes) || isLink(attributes))
            names.push_back(win32::toUtf8(name));
    });
    std::sort(names.begin(), names.end());
    return names;
}

std::string GetTempDirectory()
{
    // GetTempPathW gives at most MAX_PATH + 1 characters, the final "\" included.
    wchar_t buffer[MAX_PATH + 2];
    const DWORD length = GetTempPathW(MAX_PATH + 2, buffer);
    if (length == 0 || length > MAX_PATH + 1)
        return IncludeTrailingPathDelimiter(".");
    return IncludeTrailingPathDelimiter(win32::toUtf8(std::wstring_view(buffer, length)));
}

std::string GetProgramPath()
{
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return {};
        if (length < buffer.size())
            return win32::toUtf8(std::wstring_view(buffer.data(), length));
        if (buffer.size() >= 32768)  // the longest path Windows has
            return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::string GetPrivateTempDirectory(const std::string& name)
{
    // The temporary folder lies in the user's own profile, which other
    // users cannot write: a folder in it is private already.
    return GetTempDirectory() + name;
}

bool ForcePrivateDirectory(const std::string& dir)
{
    CreateDirectoryW(win32::toWide(ExcludeTrailingPathDelimiter(dir)).c_str(), nullptr);
    return isRealFolder(dir);
}

std::optional<std::string> CreateUniqueTempDirectory(const std::string& prefix)
{
    const std::string base = GetTempDirectory() + prefix;
    std::random_device seed;
    std::mt19937 random(seed());
    constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::uniform_int_distribution<size_t> pick(0, sizeof kLetters - 2);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = base;
        for (int i = 0; i < 6; ++i)
            candidate += kLetters[pick(random)];
        if (CreateDirectoryW(win32::toWide(candidate).c_str(), nullptr))
            return candidate;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return std::nullopt;
    }
    return std::nullopt;
}

std::unique_ptr<TFileStream> CreateNewFile(const std::string& path, ExistingEntry existing)
{
    const std::string folder = ExtractFilePath(path);
    if (ExtractFileName(path).empty() || !isRealFolder(folder.empty() ? std::string(".") : folder))
        throw EFCreateError(path);
    const std::wstring name = win32::toWide(path);
    if (existing == ExistingEntry::Replace) {
        // Remove the name, not what it may point to; a folder stays and the
        // creation below then fails.
        const DWORD attributes = GetFileAttributesW(name.c_str());
        if (attributes != kNoAttributes)
            deleteEntry(name, attributes);
    }
    // CREATE_NEW never opens what exists, a link included.
    // Like fmCreate, the new file is the creator's alone until it is closed.
    HANDLE handle = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if ((error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) && existing == ExistingEntry::Keep)
            return nullptr;
        throw EFCreateError(path);
    }
    return std::make_unique<TFileStream>(path, TFileStream::AdoptHandle{reinterpret_cast<intptr_t>(handle)});
}

void DeleteFilesInPrivateDirectory(const std::string& dir)
{
    if (!isRealFolder(dir))
        return;
    const std::wstring folder = win32::toWide(IncludeTrailingPathDelimiter(dir));
    // Collect first: deleting while a search is open may skip entries.
    std::vector<std::pair<std::wstring, DWORD>> entries;
    forEachEntry(dir, [&](const std::wstring& name, DWORD attributes) { entries.emplace_back(name, attributes); });
    for (const auto& [name, attributes] : entries)
        deleteEntry(folder + name, attributes);  // failures are skipped
}
