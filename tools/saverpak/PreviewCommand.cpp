#include "tools/saverpak/PreviewCommand.h"

#include <csetjmp>
#include <cstdio>
#include <vector>

#include <CLI/CLI.hpp>
#ifndef _WIN32
#include <png.h>
#endif

#include "imaging/Display.h"
#include "imaging/Preparation.h"
#include "package/kwPak.h"
#include "tools/saverpak/OutputFile.h"
#include "tools/saverpak/ToolError.h"

namespace fs = std::filesystem;

namespace {

// Restores the real display when the preview is done.
struct DisplayOverride {
    explicit DisplayOverride(int depth) {
        const DisplayInfo info = SimulatedDisplay(depth);
        SetDisplayOverride(&info);
    }
    ~DisplayOverride() { SetDisplayOverride(nullptr); }
};

// What the screen shows: indexed pixels through the colour table, top row first.
std::vector<std::uint8_t> ScreenRgb(const cBitmap& bitmap) {
    const std::int32_t w = bitmap.Width();
    const std::int32_t h = bitmap.Height();
    const WORD bits = bitmap.BitCount();
    std::vector<std::uint8_t> rgb(std::size_t(w) * h * 3);
    std::uint8_t* out = rgb.data();
    for (std::int32_t y = h - 1; y >= 0; --y) {
        const BYTE* row = bitmap.Row(y);
        for (std::int32_t x = 0; x < w; ++x, out += 3) {
            if (bits == 24) {
                out[0] = row[3 * x + 2];
                out[1] = row[3 * x + 1];
                out[2] = row[3 * x];
                continue;
            }
            unsigned index;
            if (bits == 8)
                index = row[x];
            else if (bits == 4)
                index = (x & 1) ? (row[x / 2] & 0x0F) : (row[x / 2] >> 4);
            else
                index = (row[x / 8] >> (7 - (x & 7))) & 1;
            const RGBQUAD& c = bitmap.FPalette[index];
            out[0] = c.rgbRed;
            out[1] = c.rgbGreen;
            out[2] = c.rgbBlue;
        }
    }
    return rgb;
}

#ifdef _WIN32
// The Windows build carries no PNG writer (libpng is a host package): the preview is a tool of
// the native build.
bool WritePng(std::FILE*, const std::uint8_t*, std::uint32_t, std::uint32_t) {
    throw ToolError("preview: this build of saverpak cannot write PNG files; use the Linux build");
}
#else
// libpng reports failures by longjmp: everything between here and the return point holds no
// object with a destructor.
bool WritePng(std::FILE* stream, const std::uint8_t* rgb, std::uint32_t width,
              std::uint32_t height) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, stream);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (std::uint32_t y = 0; y < height; ++y) {
        png_write_row(png, rgb + std::size_t(y) * width * 3);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}
#endif

}  // namespace

void ParsePreviewSize(const std::string& text, int& width, int& height) {
    int w = 0, h = 0;
    char x = 0, extra = 0;
    if (std::sscanf(text.c_str(), "%d%c%d%c", &w, &x, &h, &extra) != 3 || (x != 'x' && x != 'X') ||
        w <= 0 || h <= 0) {
        throw ToolError("preview: --size wants WIDTHxHEIGHT with both above 0, not \"" + text +
                        "\"");
    }
    width = w;
    height = h;
}

void PreviewPicture(const PreviewOptions& options) {
    const fs::path output = fs::absolute(options.output);
    RefuseSameFile(output, options.input, "input");

    ssPicture picture;
    const std::string input = options.input.string();
    if (options.picture >= 0) {
        kwPak pak;
        pak.Bind(input.c_str());
        struct Unbinder {
            kwPak& Pak;
            ~Unbinder() { Pak.Unbind(); }
        } unbinder{pak};
        const auto table = pak.ContentTable();
        if (std::size_t(options.picture) >= table.size()) {
            throw ToolError(input + " has no picture " + std::to_string(options.picture) +
                            " (it has " + std::to_string(table.size()) + ")");
        }
        picture.Load(pak, std::int32_t(table[options.picture]), options.width, options.height);
    } else {
        picture.Load(input.c_str(), options.width, options.height);
    }

    DisplayOverride screen(options.depth);
    ssPicture* pictures[] = {&picture};
    PreparePictures(pictures, 1, options.width, options.height, BYTE(options.adaptive));

    const std::vector<std::uint8_t> rgb = ScreenRgb(picture);
    OutputFile out(output);
    if (!WritePng(out.Stream(), rgb.data(), std::uint32_t(picture.Width()),
                  std::uint32_t(picture.Height()))) {
        throw ToolError("preview: could not write " + output.string());
    }
    out.Commit();
}

void AddPreviewCommand(CLI::App& app) {
    CLI::App* preview = app.add_subcommand(
        "preview", "Prepare a picture as the saver shows it on a screen of a given depth");
    auto options = std::make_shared<PreviewOptions>();
    auto size = std::make_shared<std::string>();
    preview->add_option("INPUT", options->input, "A BMP or JPEG file, or a saver with --picture")
        ->required();
    preview->add_option("--picture", options->picture, "Content item of the saver (from 0)")
        ->check(CLI::NonNegativeNumber);
    preview->add_option("--size", *size, "Fit into WIDTHxHEIGHT, as the preview window does");
    preview->add_option("--depth", options->depth, "Bits per pixel of the screen")
        ->check(CLI::IsMember({4, 8, 16, 24}));
    preview->add_option("--adaptive", options->adaptive, "1: palette from the picture; 0: fixed")
        ->check(CLI::IsMember({0, 1}));
    preview->add_option("-o,--output", options->output, "The PNG to write")->required();
    preview->callback([options, size] {
        PreviewOptions run = *options;
        if (!size->empty()) ParsePreviewSize(*size, run.width, run.height);
        PreviewPicture(run);
    });
}
