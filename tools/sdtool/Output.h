// Output.h: how sdtool writes what the user asked for: the output formats of
// render, files that appear under their name only when complete, and the
// refusal to write over one of the run's own inputs.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// An output that cannot be written; the text says which and why.
class OutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class OutputKind { Png, WebP, Frames, Mp4, WebM, Mkv, Gif };

struct OutputFormat {
    OutputKind kind;
    const char* extension;  // with its dot; empty for the folder
    bool oneStep;           // written for --tick N
    bool range;             // written for --ticks A-B
    bool video;             // FFmpeg's: with the tune, default size and steps
    const char* what;
};

// Every output render writes. The folder of frames is OUT without an
// extension, or a folder that exists.
inline constexpr OutputFormat kOutputFormats[] = {
    {OutputKind::Png, ".png", true, false, false, "a PNG picture of one step (--tick)"},
    {OutputKind::WebP, ".webp", true, true, false, "an animated WebP, 10 frames a second (--tick or --ticks)"},
    {OutputKind::Frames, "", false, true, false,
     "a folder of frame-NNNNNN.png files, one per step (--ticks; OUT without an extension or an existing folder)"},
    {OutputKind::Mp4, ".mp4", true, true, true, "H.264 video with AAC sound, 10 frames a second"},
    {OutputKind::WebM, ".webm", true, true, true, "VP9 video with Opus sound"},
    {OutputKind::Mkv, ".mkv", true, true, true, "lossless H.264 (RGB) video with FLAC sound"},
    {OutputKind::Gif, ".gif", true, true, true, "an animated GIF with one palette, looping, without sound"},
};

// The kind of output OUT names for one step or a range of steps; OutputError
// naming the formats render writes when it names none of them.
OutputKind outputKindOf(const std::string& out, bool range);
const OutputFormat& outputFormatOf(OutputKind kind);

// The file name of step's picture in a folder of frames.
std::string frameFileName(int64_t step);
// Removes the frame files (frame-NNNNNN.png) in folder that a run of steps
// first to last does not write. OutputError when one cannot be removed.
void removeOtherFrames(const std::string& folder, int64_t first, int64_t last);

// UsageError when output is the same file as one of inputs (by device and
// inode, so links count); the text names both. A folder of frames is
// checked frame file by frame file.
void refuseOutputAmongInputs(const std::string& output, const std::vector<std::string>& inputs);
void refuseFramesAmongInputs(const std::string& folder, const std::vector<std::string>& inputs);

// A file written under a temporary name beside its target and renamed into
// place by commit(), so that the target is either the old file or the whole
// new one. Not committed, the temporary file is removed. A target that is a
// symbolic link has the file it points to replaced.
class AtomicFile {
public:
    explicit AtomicFile(const std::string& target);  // OutputError when no file can be made there
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    const std::string& path() const { return temp_; }  // where to write
    // Gives the file the target's permissions (an ordinary file's, as the
    // umask allows, when there was none) and renames it. OutputError, or
    // Interrupted when a signal came meanwhile.
    void commit();

private:
    std::string target_;  // as given, for messages
    std::string real_;    // the file replaced
    std::string temp_;
    bool committed_ = false;
};

// Writes bytes to path through an AtomicFile.
void writeFileAtomically(const std::string& path, const uint8_t* bytes, size_t size);
