#include "tools/saverpak/pictures/PictureCheck.h"

#include <cstring>

#include "imaging/Bitmap.h"
#include "imaging/JpegFile.h"
#include "package/PakFormat.h"
#include "tools/saverpak/pictures/StorablePicture.h"

namespace {

std::string BmpProblem(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() < kBmpHeadersSize) return "BMP file is too short for its headers";
    BmpHeaders headers;
    ParseBmpHeaders(bytes.data(), bytes.size(), headers);
    const BITMAPINFOHEADER& header = headers.Info;
    const std::uint32_t pixelOffset = headers.DataOffset;

    // Longer info headers (108 and 124 bytes, with colour-space data) begin with the 40 bytes
    // the saver reads; it skips the rest.
    if (header.biSize < 40 || 14 + std::uint64_t(header.biSize) > bytes.size())
        return "BMP info header is shorter than 40 bytes or runs past the file";
    // The saver raises an indexed picture to 24 bits to fit and dither it, so every picture must
    // fit the 24-bit row: the width bound of 24 bits holds at every bit count.
    if (header.biWidth <= 0 || header.biHeight <= 0 || header.biWidth > kMaxWidth24 ||
        header.biHeight > kMaxPictureHeight)
        return "BMP width must be 1 to " + std::to_string(kMaxWidth24) + " and height 1 to " +
               std::to_string(kMaxPictureHeight);
    if (header.biPlanes != 1) return "BMP must have one plane";
    // The saver's own test of bit count, compression and colour-table size.
    if (!cBitmap::CheckHeader(header))
        return "BMP must have 1, 4, 8, 16, 24 or 32 bits per pixel, RLE only at 4 and 8 bits, "
               "and at most 256 colours";
    std::uint64_t paletteEnd = 14 + std::uint64_t(header.biSize) + 4 * cBitmap::PaletteSize(header);
    // The saver takes the pixels from the offset when it lies past the colour table and
    // inside the file.
    if (pixelOffset < paletteEnd || pixelOffset >= bytes.size())
        return "BMP pixel data must start after the colour table (offset " +
               std::to_string(paletteEnd) + " or later, the file says " +
               std::to_string(pixelOffset) + ")";
    std::uint64_t pixelBytes =
        std::uint64_t(cBitmap::RowStride(header.biWidth, header.biBitCount)) *
        DWORD(header.biHeight);
    if (pixelBytes > kMaxPictureBytes) return "BMP is too large";
    std::uint64_t dataSize = header.biSizeImage;
    if (header.biCompression == 0) {
        // The saver reads the rows: an image-size field that counts padding after them reads
        // no further.
        if (dataSize == 0 || dataSize > pixelBytes) dataSize = pixelBytes;
        if (dataSize < pixelBytes) return "BMP image size is smaller than its rows";
    } else if (dataSize < 2) {
        return "BMP compressed data needs its size in the image-size field";
    }
    if (pixelOffset + dataSize > bytes.size()) return "BMP file ends before its pixel data does";
    return "";
}

// The saver's own decoder decides, so the tool accepts exactly the JPEGs the saver shows (grey,
// colour, CMYK and YCCK). A decode fitted to a small box succeeds exactly when the full one
// does, and needs no full-size block.
std::string JpegProblem(const std::vector<std::uint8_t>& bytes) {
    cBitmap bitmap;
    std::string reason;
    const ErrorCode code = LoadJpegBytes(bitmap, bytes.data(), bytes.size(), 160, 120, &reason);
    bitmap.FreeBits();
    if (code == 0) return "";
    if (code == ERR_OUT_OF_MEMORY) return "JPEG is too large to decode (out of memory)";
    return "JPEG does not decode: " + (reason.empty() ? std::string("invalid data") : reason);
}

// What to tell an author whose picture is in a format the tool does not convert.
std::string UnconvertedFormat(const std::vector<std::uint8_t>& bytes, const std::string& name) {
    const PictureFormat format = RecognizeFormat(bytes.data(), bytes.size());
    // ImageMagick's "[0]" takes the first frame of an animation or the first page.
    const std::string how =
        "; save it as PNG, JPEG or BMP first, for example with ImageMagick: "
        "convert '" +
        name + "[0]' picture.png";
    if (format == PictureFormat::Unknown)
        return "not a picture the tool knows (it takes PNG, JPEG and BMP files)";
    return std::string(FormatName(format)) + " pictures are not converted" + how;
}

}  // namespace

std::string PictureProblem(const std::vector<std::uint8_t>& bytes, std::uint8_t type) {
    return type == kPictureBmp ? BmpProblem(bytes) : JpegProblem(bytes);
}

std::string PlanPicture(const std::vector<std::uint8_t>& bytes, std::size_t index,
                        const std::string& name, PicturePlan& plan) {
    plan = PicturePlan{};
    const PictureFormat format = RecognizeFormat(bytes.data(), bytes.size());
    if (format == PictureFormat::Jpeg) {
        plan.Type = kPictureJpeg;
        return JpegProblem(bytes);
    }
    if (format == PictureFormat::Bmp && !IsConvertibleBmp(bytes.data(), bytes.size())) {
        plan.Type = kPictureBmp;
        return BmpProblem(bytes);
    }
    if (format != PictureFormat::Bmp && format != PictureFormat::Png)
        return UnconvertedFormat(bytes, name);
    // Behind the preview the saver's window is black; behind the logo, the dialog's face.
    const RgbColour background = index == 1 ? RgbColour{240, 240, 240} : RgbColour{0, 0, 0};
    StorableBmp converted;
    std::string problem = ConvertToStorableBmp(bytes.data(), bytes.size(), background, converted);
    if (!problem.empty()) return problem;
    plan.Type = kPictureBmp;
    plan.Converted = std::move(converted.bytes);
    plan.Note = "(" + converted.source + ") stored as " + converted.stored;
    // The stored picture passes the saver's own checks, as any BMP given as it is must.
    problem = BmpProblem(*plan.Converted);
    return problem.empty() ? "" : "the converted picture is refused: " + problem;
}
