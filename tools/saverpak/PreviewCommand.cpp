// saverpak preview: shows what the saver would put on a screen of a given depth, as a PNG.
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <fstream>
#include <optional>
#include <vector>

#include <png.h>

#include "imaging/Display.h"
#include "imaging/Preparation.h"
#include "package/PakEntries.h"
#include "package/kwPak.h"
#include "tools/saverpak/Commands.h"
#include "tools/saverpak/io/OutputFile.h"
#include "tools/saverpak/io/PathText.h"
#include "tools/saverpak/io/ToolError.h"
#include "tools/saverpak/pictures/PictureCheck.h"
#include "tools/saverpak/pictures/StorablePicture.h"

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

// The picture as the screen shows it: an indexed picture as a palette PNG of its own bit depth
// (PNG packs indices from the high bit down, as our rows do), a 24-bit one as RGB. Rows go in
// as stored, the last stored row first. A preview is written once and looked at: the fastest
// deflate level made a 1440 x 1080 preview 5% larger than the default level and the whole run
// 30% shorter (zlib's run-length and Huffman-only strategies were no faster).
//
// libpng reports failures by longjmp: everything between here and the return point holds no
// object with a destructor.
bool WritePng(std::FILE* stream, const cBitmap& bitmap) {
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
    png_set_compression_level(png, 1);
    const int bits = bitmap.BitCount();
    const bool indexed = bits <= 8;
    png_set_IHDR(png, info, png_uint_32(bitmap.Width()), png_uint_32(bitmap.Height()),
                 indexed ? bits : 8, indexed ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color colours[256];
    if (indexed) {
        const int count = 1 << bits;
        for (int i = 0; i < count; ++i) {
            const RGBQUAD& c = bitmap.FPalette[i];
            colours[i] = {c.rgbRed, c.rgbGreen, c.rgbBlue};
        }
        png_set_PLTE(png, info, colours, count);
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    } else {
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    }
    png_write_info(png, info);
    if (!indexed) png_set_bgr(png);
    for (std::int32_t y = bitmap.Height() - 1; y >= 0; --y) png_write_row(png, bitmap.Row(y));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

// The bits past the last pixel of a row of fewer than 8 bits per pixel are not the picture's:
// the ditherer leaves them as the row held them before (memory that was never written, for a
// decoded JPEG). PNG stores them all the same, so they are cleared, and the same picture gives
// the same file on every system.
void ClearRowTails(const cBitmap& bitmap) {
    const std::uint64_t bits = std::uint64_t(bitmap.Width()) * bitmap.BitCount();
    if (bitmap.BitCount() >= 8 || bits % 8 == 0) return;
    const BYTE keep = BYTE(0xFF << (8 - bits % 8));
    for (std::int32_t y = 0; y < bitmap.Height(); ++y) bitmap.Row(y)[bits / 8] &= keep;
}

// A picture that build would refuse is refused here too, with build's message, before
// anything is allocated for it: a small file may claim a picture of gigabytes.
void RefuseWhatBuildRefuses(const std::vector<std::uint8_t>& bytes,
                            std::optional<std::uint8_t> type, const std::string& what) {
    if (!type) return;  // the saver's own load says what is wrong with it
    const std::string problem = PictureProblem(bytes, *type);
    if (!problem.empty()) throw ToolError("preview: " + what + ": " + problem);
}

std::vector<std::uint8_t> ReadPictureFile(const fs::path& path) {
    std::error_code error;
    const std::uintmax_t size = fs::file_size(path, error);
    if (error || size > kMaxPakPosition) return {};  // too large or unreadable: Load reports it
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    std::ifstream in(path, std::ios::binary);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

std::vector<std::uint8_t> ReadStoredPicture(kwPak& pak, const PakPictureDescriptor& descriptor) {
    if (descriptor.DataOffset > kMaxPakPosition) pak.RaiseReadError();
    const auto at = static_cast<std::int32_t>(descriptor.DataOffset);
    std::vector<std::uint8_t> bytes;
    pak.StreamBytes(at + std::int32_t(kDataBlockHeaderSize), pak.ReadDataBlockLength(at),
                    [&](const std::uint8_t* data, std::uint32_t count) {
                        bytes.insert(bytes.end(), data, data + count);
                    });
    return bytes;
}

}  // namespace

void PreviewPicture(const PreviewOptions& options) {
    const fs::path output = fs::absolute(options.output);
    RefuseSameFile(output, options.input, "input");

    ssPicture picture;
    const std::string input = PathText(options.input);
    // A picture file is shown as build would store it: --picture then names its role (0 the
    // preview, 1 the logo), which decides the background its alpha is composited over.
    const std::vector<std::uint8_t> bytes = ReadPictureFile(options.input);
    const bool pictureFile = RecognizeFormat(bytes.data(), bytes.size()) != PictureFormat::Unknown;
    if (options.picture >= 0 && !pictureFile) {
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
        const auto position = std::int32_t(table[options.picture]);
        const PakPictureDescriptor descriptor = ReadPictureDescriptor(pak, position);
        RefuseWhatBuildRefuses(ReadStoredPicture(pak, descriptor), descriptor.PictureType,
                               input + " picture " + std::to_string(options.picture));
        picture.Load(pak, position, options.width, options.height);
    } else {
        // What build would store for the picture in that role, decoded as the saver decodes
        // what it finds in its container.
        PicturePlan plan;
        const std::string problem =
            PlanPicture(bytes, std::size_t(std::max(options.picture, 0)), input, plan);
        if (!problem.empty()) throw ToolError("preview: " + input + ": " + problem);
        const std::vector<std::uint8_t>& stored = plan.Converted ? *plan.Converted : bytes;
        picture.Load(plan.Type, stored.data(), stored.size(), options.width, options.height);
    }

    DisplayOverride screen(options.depth);
    ssPicture* pictures[] = {&picture};
    PreparePictures(pictures, 1, options.width, options.height, BYTE(options.adaptive));

    ClearRowTails(picture);
    OutputFile out(output);
    if (!WritePng(out.Stream(), picture)) {
        throw ToolError("preview: could not write " + PathText(output));
    }
    out.Commit();
}
