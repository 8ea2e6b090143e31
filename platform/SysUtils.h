// SysUtils.h: files, folders and paths, the only way portable code reaches the file system.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Classes.h"

// Note for the Win32 backend: <windows.h> defines DeleteFile as a macro;
// #undef it after including <windows.h> in files that define these functions.

// The separator of the platform's own paths.
#ifdef _WIN32
constexpr char PathDelim = '\\';
#else
constexpr char PathDelim = '/';
#endif

// Path parts. "\", "/" and ":" all end a folder part on every platform, so a
// Windows-style path splits the same way everywhere. Paths are UTF-8, in
// which no byte of a multi-byte character is one of these.
bool IsPathSeparator(char c);
// The path with one PathDelim at its end, unless it already ends with a separator.
std::string IncludeTrailingPathDelimiter(const std::string& path);
// The path without separators at its end ("/" stays "/").
std::string ExcludeTrailingPathDelimiter(const std::string& path);
// The text after the last separator (all of it when there is none).
std::string ExtractFileName(const std::string& path);
// The text up to and including the last separator ("" when there is none).
std::string ExtractFilePath(const std::string& path);
// From the last "." of the file-name part, dot included; "" when it has none.
std::string ExtractFileExt(const std::string& path);

// The path made absolute against the current folder, so that it names the
// same file from any folder later; links are not resolved. An absolute or
// empty path is returned as it is, and so is one the folder cannot be found for.
std::string ExpandFileName(const std::string& path);

// Queries; symbolic links are followed unless said otherwise.
bool FileExists(const std::string& path);       // an entry that is not a folder
bool DirectoryExists(const std::string& path);  // a folder
bool EntryExists(const std::string& path);      // anything, a dangling link included (not followed)

// Changes; each returns whether it worked and raises nothing.
bool CreateDir(const std::string& dir);         // one level
bool ForceDirectories(const std::string& dir);  // every missing level
bool DeleteFile(const std::string& path);       // the entry itself (a link, never its target); not a folder
bool RemoveDir(const std::string& dir);         // an empty folder

// Names (not paths) of the entries directly in dir that are not folders,
// sorted; links are listed as themselves. Empty when dir cannot be read.
std::vector<std::string> ListFiles(const std::string& dir);

// The shared temporary-files folder, ending with a separator.
std::string GetTempDirectory();
// The full path of the running program; "" when the platform cannot tell.
std::string GetProgramPath();

// --- Private folders ----------------------------------------------------------
// Folders that only this user may use, for files unpacked from data files.
// The temporary folder is shared with other users, so everything below refuses
// to be steered by entries they may have planted: a folder is used only when
// it is a real folder (not a link) that belongs to the user, and files are
// only ever created anew, never opened through a link or over an existing file.

// Where the program's private folder for name lives, without a trailing
// separator. POSIX: $XDG_RUNTIME_DIR/name when that is set (absolute), else
// ${TMPDIR:-/tmp}/name-<uid>. Win32: the temporary folder + name.
std::string GetPrivateTempDirectory(const std::string& name);

// Creates dir (one level, readable only by the user) when missing, and makes a
// folder of the user's that is open to others private again. Returns whether
// dir can be used: a real folder owned by the user. A link, a file or a
// folder of someone else there is left alone and gives false.
bool ForcePrivateDirectory(const std::string& dir);

// Creates a new folder with a unique name in the temporary folder, starting
// with prefix, readable only by the user. None when it cannot be made.
std::optional<std::string> CreateUniqueTempDirectory(const std::string& prefix);

enum class ExistingEntry {
    Keep,     // an entry of that name makes CreateNewFile return none
    Replace,  // an entry of that name (a link itself, never its target) is removed first
};

// Creates path as a new empty file, open for reading and writing, in a folder
// that is a real folder owned by the user (not reached through a link at its
// last step). Nothing that exists under path is ever opened or followed.
// Returns none when an entry of that name exists and existing is Keep;
// raises EFCreateError (naming path) on every other failure.
std::unique_ptr<TFileStream> CreateNewFile(const std::string& path, ExistingEntry existing);

// Deletes every entry directly in dir that is not a folder: files and links
// themselves, never what a link points to; folders and their contents stay.
// Does nothing unless dir is a real folder owned by the user, nor for an
// empty dir. Entries that cannot be deleted are skipped.
void DeleteFilesInPrivateDirectory(const std::string& dir);
