// saverpak preview: shows what the saver would put on a screen of a given depth, as a PNG.
#pragma once

#include <filesystem>
#include <string>

namespace CLI {
class App;
}

void AddPreviewCommand(CLI::App& app);

struct PreviewOptions {
    std::filesystem::path input;
    int picture = -1;  // content item of a saver; -1: the input is a picture file
    int width = 0;     // 0 x 0: no fitting
    int height = 0;
    int depth = 24;    // bits per pixel of the screen to prepare for
    int adaptive = 1;  // 0: the fixed 6 x 6 x 6 cube on 8-bit screens
    std::filesystem::path output;
};

// Loads, fits, quantises and dithers exactly as the saver's picture loader does for that
// screen, and writes the result as an 8-bit RGB PNG. Throws with a message on any failure; the
// output is then left as it was.
void PreviewPicture(const PreviewOptions& options);

// Parses "WxH" (both positive); throws ToolError otherwise.
void ParsePreviewSize(const std::string& text, int& width, int& height);
