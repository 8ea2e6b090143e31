// Pack.h: writing a data file from a manifest, through the data file stream's write side.
#pragma once

#include <stdexcept>
#include <string>

#include "tools/sdtool/Manifest.h"

// A manifest whose files cannot go into a data file (a picture the player
// cannot read, a file too large); the text says which and why.
class PackError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writes the show as a data file at outPath: the tagged layout, or the old
// fixed layout when manifest.legacy. Every picture is checked first (it must
// load as the player loads it). The file is written under a temporary name
// and renamed into place when whole: when this fails, outPath is as it was.
// PackError for a file that cannot go in, OutputError when outPath cannot
// be written, Interrupted when a signal came.
void packShow(const Manifest& manifest, const std::string& outPath);
