// Output.cpp: render's output formats, whole-or-nothing files, and the check
// that no output is one of the run's inputs.
#include "tools/sdtool/Output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/Exceptions.h"
#include "tools/sdtool/Cli.h"
#include "tools/sdtool/Interrupt.h"

namespace fs = std::filesystem;

namespace {

std::string lowerCase(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// Every format render writes, for an error message.
std::string formatsWritten()
{
    std::string list;
    for (const OutputFormat& format : kOutputFormats) {
        list += list.empty() ? "" : "; ";
        list += format.extension[0] != '\0' ? std::string(format.extension) + ": " + format.what : format.what;
    }
    return list;
}

// The number of a frame file's name (frame-, at least six digits, .png); none for other names.
std::optional<int64_t> frameNumber(const std::string& name)
{
    const std::string prefix = "frame-";
    const std::string suffix = ".png";
    if (name.size() < prefix.size() + 6 + suffix.size() || name.compare(0, prefix.size(), prefix) != 0
        || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return std::nullopt;
    const std::string digits = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    if (digits.size() > 18 || digits.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::stoll(digits);
}

}  // namespace

OutputKind outputKindOf(const std::string& out, bool range)
{
    std::error_code ec;
    const bool folder = fs::is_directory(out, ec);
    const std::string extension = lowerCase(fs::path(out).extension().string());
    for (const OutputFormat& format : kOutputFormats) {
        const bool matches = format.kind == OutputKind::Frames ? folder || extension.empty()
                                                               : !folder && extension == format.extension;
        if (matches && (range ? format.range : format.oneStep))
            return format.kind;
    }
    const std::string steps = range ? "with --ticks" : "for one step";
    if (folder)
        throw UsageError(out + " is a folder, which render does not write " + steps + "; it writes "
                         + formatsWritten());
    throw UsageError("render does not write " + (extension.empty() ? "a file without an extension" : extension + " files")
                     + " " + steps + " (" + out + "); it writes " + formatsWritten());
}

const OutputFormat& outputFormatOf(OutputKind kind)
{
    for (const OutputFormat& format : kOutputFormats)
        if (format.kind == kind)
            return format;
    return kOutputFormats[0];
}

std::string frameFileName(int64_t step)
{
    char name[40];
    std::snprintf(name, sizeof name, "frame-%06lld.png", static_cast<long long>(step));
    return name;
}

void removeOtherFrames(const std::string& folder, int64_t first, int64_t last)
{
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        const auto number = frameNumber(name);
        if (!number || (*number >= first && *number <= last && name == frameFileName(*number)))
            continue;
        std::error_code removed;
        fs::remove(entry.path(), removed);
        if (removed)
            throw OutputError("cannot remove the old frame " + entry.path().string() + ": " + removed.message());
    }
    if (ec)
        throw OutputError("cannot list the folder " + folder + ": " + ec.message());
}

void refuseOutputAmongInputs(const std::string& output, const std::vector<std::string>& inputs)
{
    for (const std::string& input : inputs) {
        std::error_code ec;
        // Same device and inode: also through symbolic and hard links.
        if (fs::equivalent(output, input, ec) && !ec)
            throw UsageError("the output " + output + " is one of the inputs (" + input
                             + "); it would be overwritten: choose another output");
    }
}

void refuseFramesAmongInputs(const std::string& folder, const std::vector<std::string>& inputs)
{
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        if (frameNumber(entry.path().filename().string()))
            refuseOutputAmongInputs(entry.path().string(), inputs);
}

AtomicFile::AtomicFile(const std::string& target) : target_(target), real_(target)
{
    // Follow the links to the file they name, which may not exist yet.
    fs::path real(target);
    std::error_code ec;
    for (int hops = 0; hops < 40 && fs::is_symlink(real, ec); ++hops) {
        const fs::path next = fs::read_symlink(real, ec);
        if (ec)
            break;
        real = next.is_absolute() ? next : real.parent_path() / next;
    }
    real_ = real.string();
    const fs::path folder = real.parent_path().empty() ? fs::path(".") : real.parent_path();
    std::string pattern = (folder / ("." + real.filename().string() + ".sdtool-XXXXXX")).string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        const int error = errno;
        throw OutputError("cannot create " + target + ": " + errnoText(error) + " ("
                          + EFCreateError(target).Message() + ")");
    }
    ::close(fd);
    temp_ = pattern;
}

AtomicFile::~AtomicFile()
{
    if (!committed_)
        ::unlink(temp_.c_str());
}

void AtomicFile::commit()
{
    throwIfInterrupted();
    struct stat st {};
    mode_t mode = 0;
    if (::stat(real_.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::chmod(temp_.c_str(), mode) != 0 || ::rename(temp_.c_str(), real_.c_str()) != 0) {
        const int error = errno;
        throw OutputError("cannot write " + target_ + ": " + errnoText(error));
    }
    committed_ = true;
}

void writeFileAtomically(const std::string& path, const uint8_t* bytes, size_t size)
{
    AtomicFile file(path);
    const int fd = ::open(file.path().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    size_t done = 0;
    int error = fd < 0 ? errno : 0;
    while (fd >= 0 && error == 0 && done < size) {
        const ssize_t n = ::write(fd, bytes + done, size - done);
        if (n < 0 && errno != EINTR)
            error = errno;
        else if (n > 0)
            done += static_cast<size_t>(n);
    }
    if (fd >= 0 && ::close(fd) != 0 && error == 0)
        error = errno;
    if (error != 0)
        throw OutputError("cannot write " + path + ": " + errnoText(error));
    file.commit();
}
