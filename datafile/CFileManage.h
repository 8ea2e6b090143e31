// CFileManage.h: the loader of screen saver data files (*.sdt).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "datafile/DataFileFormat.h"

class TCharactorList;

inline constexpr const char* kTooNewVersionText =
    "ご使用のソフトのバージョンが古いため、開くことが出来ません。\n新しいバージョンのソフトをダウンロードしてください。";

// Picture extensions longer than this, or with anything but ASCII letters and
// digits, never become part of a file name.
constexpr size_t kMaxPictureExtensionLength = 8;
bool isPlainPictureExtension(const std::string& extension);

// The decoded bytes (four a pixel) all pictures of one show may take: 128 MiB,
// seventeen full-screen pictures of 1600 x 1200 (the largest screens shows
// were made for), or ten frames of 56 x 56 for each of a thousand characters.
// A show also holds at most TCharactorList::kMaxCharactors characters, each
// with at most 10 frames and 600 path points.
constexpr int64_t kMaxShowPictureBytes = int64_t{128} * 1024 * 1024;

// Reads the data file fileName into list (its characters, loop time and
// settings), unpacking embedded pictures and music into the work directory.
// Old files (version 110 and below) go to list.loadOldScrSavData, with the
// stream already open and past the header.
//
// False, without a message and with list unchanged: no such file, not a data
// file. False after the message kTooNewVersionText, list unchanged: a version
// from 132 up. False: the file ends inside a record or an embedded file (list
// and settings keep what was read; copies made stay in the work directory).
// True otherwise. Errors other than a short read pass to the caller: the file
// cannot be opened (EFOpenError), a copy cannot be made (EFCreateError), a
// picture cannot be read (EInvalidGraphic, also for an embedded picture whose
// extension is not plain: nothing is written then), the show is larger than a
// show may be (EShowTooLarge, before the memory is taken).
bool loadScrSavData(const std::string& fileName, TCharactorList& list);
// The same load from the bytes of a data file already in memory (a page's
// dropped file, a fuzzer's input): the same results and the same errors as
// for a file holding these bytes; only "no such file" cannot happen.
bool loadScrSavDataFromMemory(std::vector<uint8_t> bytes, TCharactorList& list);

// Why loadScrSavData gave false for fileName, in a few English words for
// standard error: "no such file", "a folder, not a file", "the file is empty",
// "not a data file", "made by a newer version of the authoring tool (version
// N)" or "the file is cut off". Reads the file's header again; raises nothing.
std::string describeLoadFailure(const std::string& fileName);
