// Manifest.h: the JSON description of a show that `sdtool pack` turns into a data file.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

// A manifest that cannot be used; the text says where and why.
class ManifestError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct ManifestCharactor {
    std::string name;                  // Shift-JIS, as it goes into the file
    std::optional<bool> transparent;   // none: no record, the character keeps its default
    std::vector<std::string> frames;   // picture files, paths resolved
    std::vector<std::pair<double, double>> points;
};

struct Manifest {
    bool legacy = false;
    int32_t version = 120;
    std::optional<uint32_t> loopTime;
    std::optional<uint8_t> backMode;
    std::optional<int32_t> backColor;
    std::optional<bool> playBgm;
    std::optional<std::string> bgmName;      // Shift-JIS
    std::optional<std::string> background;   // picture file, path resolved
    std::optional<std::string> bgm;          // MIDI file, path resolved
    std::vector<ManifestCharactor> charactors;
};

// Limits of what a data file can carry and the player can use.
constexpr int kManifestMaxFrames = 10;
constexpr int kManifestMaxPoints = 600;
constexpr uint32_t kManifestMaxLoopTime = (1u << 28) - 1;  // a delta integer holds 28 bits

// Reads and checks the manifest file: types, ranges, names that Shift-JIS can
// store, and that every file it names exists (paths relative to the manifest's
// folder). ManifestError otherwise.
Manifest readManifest(const std::string& manifestPath);
