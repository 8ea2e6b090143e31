// PosixFiles.h: small file-writing helpers shared by the POSIX stores that
// replace their files atomically (the settings store and "System.ini").
#pragma once

#include <string>

namespace posixfiles {

// Writes all of text to fd, retrying interrupted and partial writes.
bool writeAll(int fd, const std::string& text);

// Where a change to path goes: path itself, or the target of a symbolic link
// there (a dotfile manager's link must stay a link). Empty when the link
// leads nowhere.
std::string writeTarget(const std::string& path);

}  // namespace posixfiles
