// PNG for the converter, through libpng: every colour type and depth, interlaced or not, with
// alpha from an alpha channel or a tRNS chunk.
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <png.h>

#include "support/Bytes.h"
#include "tools/saverpak/pictures/StorableInputs.h"

namespace {

struct PngSource {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at;
    char message[200];
};

void PngRead(png_structp png, png_bytep out, std::size_t count) {
    auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (count > source->size - source->at) png_error(png, "the file ends early");
    std::memcpy(out, source->data + source->at, count);
    source->at += count;
}

void PngError(png_structp png, png_const_charp message) {
    auto* source = static_cast<PngSource*>(png_get_error_ptr(png));
    std::snprintf(source->message, sizeof(source->message), "%s", message);
    png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

struct PngHeader {
    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colourType = 0, interlace = 0;
    bool alpha = false;
    std::size_t rowBytes = 0;
};

// libpng reports failures by longjmp to these two functions, which hold no object with a
// destructor. Rows come out as red, green, blue, alpha at 8 or 16 bits, whatever was stored.
bool ReadPngHeader(png_structp png, png_infop info, PngHeader& header) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_info(png, info);
    png_get_IHDR(png, info, &header.width, &header.height, &header.bitDepth, &header.colourType,
                 &header.interlace, nullptr, nullptr);
    header.alpha = (header.colourType & PNG_COLOR_MASK_ALPHA) != 0 ||
                   png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    png_set_expand(png);
    png_set_gray_to_rgb(png);
    if (!header.alpha) png_set_add_alpha(png, 0xFFFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    header.rowBytes = png_get_rowbytes(png, info);
    return true;
}

bool ReadPngRows(png_structp png, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    // The chunks after the picture are not read: the picture is complete without them.
    png_read_image(png, rows);
    return true;
}

bool ReadPngRow(png_structp png, png_bytep row) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_row(png, row, nullptr);
    return true;
}

// One row of red, green, blue, alpha samples (8 or 16 bits, big-endian) over the background.
void CompositeRow(const std::uint8_t* in, std::size_t width, int sample, const std::uint8_t* bg,
                  std::uint8_t* out) {
    for (std::size_t i = 0; i < width; ++i, out += 3) {
        if (sample == 1) {
            for (int c = 0; c < 3; ++c) out[c] = Over8(in[c], in[3], bg[c]);
            in += 4;
        } else {
            const unsigned a = LoadBe16(in + 6);
            for (int c = 0; c < 3; ++c) out[c] = Over16(LoadBe16(in + 2 * c), a, bg[c]);
            in += 8;
        }
    }
}

struct PngReader {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngReader() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

}  // namespace

std::string DecodePng(const std::uint8_t* data, std::size_t size, RgbColour background,
                      RgbPicture& picture, std::string& source) {
    PngSource input{data, size, 0, "out of memory"};
    PngReader reader;
    reader.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &input, PngError, PngWarning);
    if (!reader.png) return "PNG cannot be read: out of memory";
    reader.info = png_create_info_struct(reader.png);
    if (!reader.info) return "PNG cannot be read: out of memory";
    png_set_read_fn(reader.png, &input, PngRead);
    PngHeader header;
    if (!ReadPngHeader(reader.png, reader.info, header))
        return std::string("PNG does not decode: ") + input.message;
    const std::string problem = SizeProblem("PNG", header.width, header.height);
    if (!problem.empty()) return problem;
    const int sample = header.bitDepth == 16 ? 2 : 1;
    if (header.rowBytes != std::size_t(header.width) * 4 * sample)
        return "PNG does not decode: unexpected row layout";

    // Rows are read and composited one at a time, and the picture grows as they come, so a
    // short file that claims a large picture fails before much is set aside for it. An
    // interlaced picture is complete only after its last pass, so it is read whole.
    const std::uint8_t bg[3] = {background.red, background.green, background.blue};
    const std::size_t width = header.width, outRow = width * 3;
    picture.width = header.width;
    picture.height = header.height;
    if (header.interlace == PNG_INTERLACE_NONE) {
        std::vector<std::uint8_t> row(header.rowBytes);
        for (png_uint_32 y = 0; y < header.height; ++y) {
            if (!ReadPngRow(reader.png, row.data()))
                return std::string("PNG does not decode: ") + input.message;
            picture.pixels.resize(picture.pixels.size() + outRow);
            CompositeRow(row.data(), width, sample, bg, picture.pixels.data() + y * outRow);
        }
    } else {
        std::vector<std::uint8_t> rgba(header.rowBytes * header.height);
        std::vector<png_bytep> rows(header.height);
        for (png_uint_32 y = 0; y < header.height; ++y) rows[y] = rgba.data() + y * header.rowBytes;
        if (!ReadPngRows(reader.png, rows.data()))
            return std::string("PNG does not decode: ") + input.message;
        picture.pixels.resize(outRow * header.height);
        for (png_uint_32 y = 0; y < header.height; ++y)
            CompositeRow(rows[y], width, sample, bg, picture.pixels.data() + y * outRow);
    }
    source = "PNG " + SizeText(header.width, header.height);
    if (header.bitDepth == 16) source += ", 16 bits per channel";
    if (header.interlace != PNG_INTERLACE_NONE) source += ", interlaced";
    if (header.alpha) source += " with alpha";
    return "";
}
