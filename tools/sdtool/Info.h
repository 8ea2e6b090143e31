// Info.h: loading a data file as the screen saver does, and describing the result.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// What sdtool reports of one load. Texts from the data file are still Shift-JIS.
struct ShowReport {
    enum class Outcome { Loaded, False, Error };
    Outcome outcome = Outcome::False;
    std::string error;               // the escaped error's message (Outcome::Error), as its box shows it
    std::string errorReason;         // what kind of error that was, in English
    bool errorHasBoxText = false;    // error is the framework's own text (shown after the English)
    std::optional<int32_t> version;  // none when the file does not start like a data file

    uint32_t loopTime = 0;
    int backMode = 0;
    int32_t backColor = 0;
    bool playBgm = false;
    std::string bgmName;
    std::optional<std::pair<int, int>> backGraphic;  // width, height
    bool hasBgm = false;                             // a music file was unpacked and is there

    struct Charactor {
        std::string name;
        bool transparent = true;
        std::vector<std::pair<int, int>> frames;  // width, height of each frame
        std::vector<std::pair<double, double>> points;
    };
    std::vector<Charactor> charactors;
    std::vector<std::string> messages;  // ShowMessage texts, in order

    // 0 loaded, 1 the load returned false, 2 an error escaped.
    int exitStatus() const { return outcome == Outcome::Loaded ? 0 : outcome == Outcome::False ? 1 : 2; }
};

// The version in the file's header, or none when it has no "QDsm" header.
std::optional<int32_t> readHeaderVersion(const std::string& fileName);

// Why fileName is no show, in English, when that shows before loading it:
// it cannot be opened or read, is empty, does not start with the data file
// header or ends inside it. None when it starts like a data file.
std::optional<std::string> fileProblem(const std::string& fileName);

// What the load of fileName that gave report went wrong, in English, with
// the screen saver's own message after it where it has one; empty when the
// show loaded.
std::string loadFailureText(const std::string& fileName, const ShowReport& report);

// Fills the error fields of report from an error that escaped the load.
void recordLoadError(ShowReport& report, const std::exception& error);

// Loads fileName with loadScrSavData into a fresh show, in the work directory
// that is current (sdtool sets a private one), recording message boxes.
ShowReport loadShow(const std::string& fileName);

// The report as one JSON object (names converted to UTF-8), with a final newline.
std::string reportJson(const ShowReport& report);
// The report as text for people.
std::string reportText(const std::string& fileName, const ShowReport& report);
