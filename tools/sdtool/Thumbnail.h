// Thumbnail.h: `sdtool thumbnail`: one small picture of a show, for file
// managers: a step where its characters are on screen, scaled down.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/headless/HeadlessBackend.h"

class TCharactorList;

// The first step of the show's first 600 (a path's length) that has the most
// characters' frames on a screen of width x height; 0 when none ever is.
int64_t busiestStep(const TCharactorList& list, int width, int height);

// picture scaled to width x height (no larger than it), each pixel the
// average of the pixels it covers.
THeadlessPicture scaleDown(const THeadlessPicture& picture, int width, int height);

// The command: `thumbnail IN OUT --size N`. Returns the exit status.
int runThumbnail(const std::vector<std::string>& args);
extern const char* const kThumbnailHelp;
