// StillShow.h: a show whose every step shows the same picture, packed as
// sdtool packs it, for the tests that compare a program's screen with sdtool
// render; and the small helpers those tests share.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Packs dir/still.sdt and returns its path: the background picture file
// given, stretched, an opaque blue block and a white-keyed red disc standing
// still in the middle (their pictures are written to dir).
std::string PackStillShow(const std::filesystem::path& dir, const std::string& backgroundFile);

// The text in single quotes for /bin/sh.
std::string ShellQuoted(const std::string& text);
// Whether the process still runs (a zombie has ended).
bool ProcessRunning(pid_t pid);
// Pixels that differ by more than tolerance in any channel (all of them when
// the sizes differ).
size_t DifferingPixels(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, int tolerance = 0);
