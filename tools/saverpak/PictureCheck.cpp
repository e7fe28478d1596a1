#include "tools/saverpak/PictureCheck.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "imaging/Bitmap.h"
#include "package/PakFormat.h"

extern "C" {
#include <jpeglib.h>
}

namespace {

// Pictures larger than this would not be shown by a screen saver anyway, and the saver allocates
// the whole pixel block at once.
constexpr std::uint64_t kMaxPixelBytes = 256u * 1024 * 1024;
constexpr std::int64_t kMaxSide = 32768;

std::string BmpProblem(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() < 54) return "BMP file is too short for its headers";
    BITMAPINFOHEADER header;
    std::memcpy(&header, bytes.data() + 14, sizeof header);
    std::uint32_t pixelOffset = LoadLe32(bytes.data() + 10);

    // Longer info headers (108 and 124 bytes, with colour-space data) begin with the 40 bytes
    // the saver reads; it skips the rest.
    if (header.biSize < 40 || 14 + std::uint64_t(header.biSize) > bytes.size())
        return "BMP info header is shorter than 40 bytes or runs past the file";
    // The saver raises an indexed picture to 24 bits to fit and dither it, so every picture must
    // fit the 24-bit row: the width bound of 24 bits holds at every bit count.
    if (header.biWidth <= 0 || header.biHeight <= 0 || header.biWidth > kMaxWidth24 ||
        header.biHeight > kMaxSide)
        return "BMP width must be 1 to " + std::to_string(kMaxWidth24) + " and height 1 to " +
               std::to_string(kMaxSide) + " (top-down pictures are not shown)";
    if (header.biPlanes != 1) return "BMP must have one plane";
    // The saver's own test of bit count, compression and colour-table size.
    if (!cBitmap::CheckHeader(header))
        return "BMP must have 1, 4, 8 or 24 bits per pixel, RLE only at 4 and 8 bits, and at "
               "most 256 colours";
    std::uint64_t paletteEnd = 14 + std::uint64_t(header.biSize) + 4 * cBitmap::PaletteSize(header);
    // The saver takes the pixels from the offset when it lies past the colour table and
    // inside the file.
    if (pixelOffset < paletteEnd || pixelOffset >= bytes.size())
        return "BMP pixel data must start after the colour table (offset " +
               std::to_string(paletteEnd) + " or later, the file says " +
               std::to_string(pixelOffset) + ")";
    std::uint64_t pixelBytes =
        std::uint64_t(cBitmap::RowStride(header.biWidth, header.biBitCount)) * DWORD(header.biHeight);
    if (pixelBytes > kMaxPixelBytes) return "BMP is too large";
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

// libjpeg reports fatal errors through error_exit, which must not return: it jumps back to
// the setjmp in DecodeJpeg. Nothing with a destructor lives in that function, so the jump
// skips no cleanup.
struct JpegErrorManager {
    jpeg_error_mgr Manager;  // first, so libjpeg's pointer is ours too
    std::jmp_buf Return;
    char Message[JMSG_LENGTH_MAX];
};

void JpegErrorExit(j_common_ptr info) {
    auto* errors = reinterpret_cast<JpegErrorManager*>(info->err);
    (*info->err->format_message)(info, errors->Message);
    std::longjmp(errors->Return, 1);
}

void JpegIgnoreMessage(j_common_ptr, int) {}

// 0 when the whole picture decodes; 1 for a libjpeg error (message in errors.Message); 2 for
// an unsupported component count or size.
int DecodeJpeg(const std::uint8_t* data, unsigned long size, JpegErrorManager& errors) {
    jpeg_decompress_struct info;
    std::memset(&info, 0, sizeof info);
    info.err = jpeg_std_error(&errors.Manager);
    errors.Manager.error_exit = JpegErrorExit;
    errors.Manager.emit_message = JpegIgnoreMessage;
    if (setjmp(errors.Return)) {
        jpeg_destroy_decompress(&info);
        return 1;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, const_cast<unsigned char*>(data), size);
    jpeg_read_header(&info, TRUE);
    jpeg_start_decompress(&info);
    if ((info.output_components != 1 && info.output_components != 3) ||
        static_cast<std::uint64_t>(info.output_width) * info.output_height * 3 > kMaxPixelBytes) {
        jpeg_destroy_decompress(&info);
        return 2;
    }
    JSAMPARRAY row = (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                               info.output_width * info.output_components, 1);
    while (info.output_scanline < info.output_height) jpeg_read_scanlines(&info, row, 1);
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return 0;
}

std::string JpegProblem(const std::vector<std::uint8_t>& bytes) {
    JpegErrorManager errors;
    std::memset(&errors, 0, sizeof errors);
    int result = DecodeJpeg(bytes.data(), static_cast<unsigned long>(bytes.size()), errors);
    if (result == 1) return std::string("JPEG does not decode: ") + errors.Message;
    if (result == 2)
        return "JPEG must be grey or colour (1 or 3 components) and at most 256 MB decoded";
    return "";
}

}  // namespace

std::optional<std::uint8_t> RecognizePicture(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M') return kPictureBmp;
    if (bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF)
        return kPictureJpeg;
    return std::nullopt;
}

std::string PictureProblem(const std::vector<std::uint8_t>& bytes, std::uint8_t type) {
    return type == kPictureBmp ? BmpProblem(bytes) : JpegProblem(bytes);
}
