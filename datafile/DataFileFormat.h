// DataFileFormat.h: the numbers of the data file format (*.sdt), for the
// loaders and for whatever writes data files (sdtool pack, the tests).
#pragma once

#include <cstdint>

// The header every data file starts with: the magic, then the version.
inline constexpr const char* kDataFileMagic = "QDsm";
// From this version on, a character block of the old layout starts with the
// transparent flag.
constexpr int32_t kFirstVersionWithTransparency = 110;
// Versions from this one up carry tagged records; below it, the old layout.
constexpr int32_t kFirstTaggedVersion = 111;
// Versions from this one up come from a newer authoring tool and are refused.
constexpr int32_t kFirstRefusedVersion = 132;

// The groups of tagged records. A byte from 0x80 up starts a record with its
// group; a smaller one is a tag of the group of the record before.
constexpr uint8_t kGroupShow = 128;
constexpr uint8_t kGroupSetting = 129;
constexpr uint8_t kGroupCharactor = 130;
// Embedded files: the only group with a four-byte length (the others have one byte).
constexpr uint8_t kGroupFile = 255;

// The tags of each group.
namespace ShowTag {
constexpr uint8_t kLoopTime = 0;
}  // namespace ShowTag

namespace SettingTag {
constexpr uint8_t kBackMode = 0;
constexpr uint8_t kBackColor = 1;
constexpr uint8_t kPlayBgm = 2;
constexpr uint8_t kBgmName = 3;
// The extension (without its dot) of the pictures that follow.
constexpr uint8_t kPictureExtension = 4;
}  // namespace SettingTag

namespace CharactorTag {
constexpr uint8_t kBegin = 0;
constexpr uint8_t kTransparent = 1;
constexpr uint8_t kName = 2;
// The same as SettingTag::kPictureExtension, inside a character.
constexpr uint8_t kPictureExtension = 3;
constexpr uint8_t kEnd = 127;
}  // namespace CharactorTag

namespace FileTag {
constexpr uint8_t kBackground = 0;
constexpr uint8_t kFrame = 1;
constexpr uint8_t kPoints = 2;
constexpr uint8_t kMusic = 3;
}  // namespace FileTag
