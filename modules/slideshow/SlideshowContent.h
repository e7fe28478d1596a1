// What the slideshow shows, read once at start from the saver that started it: the settings
// (the RCDATA resource "SLIDESHOW") and where each slide's data lies in its container.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "modules/slideshow/SlidePreparation.h"
#include "modules/slideshow/SlideshowSettings.h"

struct SlideEntry {
    std::int64_t Offset;  // the picture's first byte in the saver's file
    std::uint32_t Size;
    bool Jpeg;
};

struct SlideshowContent {
    SlideshowSettings Settings;
    std::string SaverPath;  // in the active code page (UTF-8 by the manifest), as fopen takes it
    std::vector<SlideEntry> Slides;
    std::string Problem;  // why nothing can be shown, when nothing can

    SlideSource Source(std::int32_t slide) const;
};

// Reads the saver named by SAVERPAK_SAVER. Never fails: what cannot be read is the default
// settings, a slide left out, or the Problem.
SlideshowContent ReadSlideshowContent();
