// TestSupport.h: helpers shared by the tests.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

// Checks that statement throws exactly the type (or a subclass) with exactly message.
#define EXPECT_THROW_MSG(statement, type, message)                                   \
    do {                                                                               \
        bool lurva_caught_ = false;                                                    \
        try {                                                                          \
            statement;                                                                 \
        } catch (const type& e) {                                                      \
            lurva_caught_ = true;                                                      \
            EXPECT_EQ(std::string(e.what()), std::string(message));                    \
        }                                                                              \
        EXPECT_TRUE(lurva_caught_) << "expected " #type " from " #statement;           \
    } while (false)

// The program's UTF-8 text as a path. (A path made from std::string reads it
// in the system's ANSI code page on Windows, which breaks non-ASCII names.)
inline std::filesystem::path pathFromUtf8(const std::string& text)
{
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

// A file holding exactly text (binary: no line ends are translated).
inline void writeTextFile(const std::filesystem::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// Every byte of a file, as text.
inline std::string readTextFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string text(std::filesystem::file_size(path), '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    return text;
}

// The POSIX settings file with the key main holding these lines of values,
// as the authoring tool might leave it.
inline void writeMainSettings(const std::filesystem::path& storeFile, const std::string& mainValues)
{
    std::filesystem::create_directories(storeFile.parent_path());
    writeTextFile(storeFile, "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Kelvo\\rororade\\main]\n" + mainValues);
}

// A file's text, or "" when there is no such file.
inline std::string readTextFileIfAny(const std::filesystem::path& path)
{
    return std::filesystem::exists(path) ? readTextFile(path) : std::string();
}

#ifndef _WIN32
#include <sys/stat.h>

// The permission bits of path itself (a link is not followed).
inline mode_t modeOf(const std::filesystem::path& path)
{
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}
#endif

// A fresh, empty directory for one test, removed when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    // The path as the program's text: UTF-8 on every system.
    std::string str() const;

private:
    std::filesystem::path path_;
};

#include <vector>

#include "platform/Dialogs.h"

// Records every ShowMessage text while it lives (nothing reaches the screen).
class MessageRecorder {
public:
    MessageRecorder()
        : previous_(setShowMessageHandler([this](const std::string& text) { messages_.push_back(text); }))
    {
    }
    ~MessageRecorder() { setShowMessageHandler(std::move(previous_)); }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;
    const std::vector<std::string>& messages() const { return messages_; }

private:
    std::vector<std::string> messages_;
    ShowMessageHandler previous_;
};
