// IniFiles.h: profile (ini) files, such as the system's "System.ini" in which
// the program makes itself the current screen saver.
#pragma once

#include <optional>
#include <string>

#include "platform/Exceptions.h"

// A profile file that cannot be written.
class EIniFileException : public Exception {
public:
    using Exception::Exception;
};

// One profile file by name. A bare file name (no folder part) means the
// system's profile file of that name: on POSIX $XDG_CONFIG_HOME/lurva/NAME
// (~/.config when the variable is unset), on Windows the Windows folder's.
class TIniFile {
public:
    explicit TIniFile(std::string fileName) : fileName_(std::move(fileName)) {}

    const std::string& FileName() const { return fileName_; }
    // Sets ident in section to value; the section and the file are created
    // when missing and every other line of the file stays as it was.
    // Raises EIniFileException when the file cannot be written.
    void WriteString(const std::string& section, const std::string& ident, const std::string& value);
    // The value of ident in section; defaultValue when the file, the section
    // or the key is missing.
    std::string ReadString(const std::string& section, const std::string& ident, const std::string& defaultValue) const;

private:
    std::string fileName_;
};

// The operating system's profile functions behind TIniFile, one definition
// per platform (POSIX: the portable text editing below over an atomic file
// replacement; Win32: WritePrivateProfileStringW and its reading twin).
// Raises EIniFileException when the file cannot be written.
void WriteProfileText(const std::string& fileName, const std::string& section, const std::string& ident,
                      const std::string& value);
std::optional<std::string> ReadProfileText(const std::string& fileName, const std::string& section,
                                           const std::string& ident);
// The file a profile file name stands for (see TIniFile); "" when none can be had.
std::string ProfileFilePath(const std::string& fileName);

// The text of a profile file, edited as the system's profile functions do:
// section and key names match without regard to ASCII case or the blanks
// around them, the first match counts, and lines are kept byte for byte.
namespace IniText {

// The value of ident in section (blanks around it removed); none when missing.
std::optional<std::string> getValue(const std::string& text, const std::string& section, const std::string& ident);
// text with ident in section set to value: the key's line is replaced, or a
// new line goes after the section's last entry, or a new section goes at the
// end. New lines use the line ending the text already uses ("\r\n" or "\n").
std::string setValue(const std::string& text, const std::string& section, const std::string& ident,
                     const std::string& value);

}  // namespace IniText
