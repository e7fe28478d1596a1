#include "imaging/JpegFile.h"

#include "imaging/Orientation.h"
#include "imaging/Transitionsunit.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>

// libjpeg's header needs size_t and FILE declared first.
#include <jpeglib.h>

namespace {

// The library reports fatal errors by calling error_exit, which must not return. Ours jumps
// back to the return point in DecodeStream; the jmp_buf sits directly after the library's error
// manager so the routine finds it from the manager alone.
struct JpegErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf returnPoint;
    char* reason;  // JMSG_LENGTH_MAX characters for the library's message, or null
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
    auto* manager = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    if (manager->reason) (*cinfo->err->format_message)(cinfo, manager->reason);
    std::longjmp(manager->returnPoint, 1);
}

// Warnings (a premature end of data, say) and trace messages are dropped: the library completes
// the picture by its own rules and the decode goes on.
void EmitMessage(j_common_ptr, int) {}

// Called between scans while the library absorbs a multi-scan file.
void ScanLimitMonitor(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor) return;
    auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (dinfo->input_scan_number <= kMaxJpegScans) return;
    auto* manager = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    if (manager->reason) {
        std::snprintf(manager->reason, JMSG_LENGTH_MAX, "the picture has more than %d scans",
                      kMaxJpegScans);
    }
    std::longjmp(manager->returnPoint, 1);
}

inline BYTE Multiply255(unsigned a, unsigned b) { return BYTE((a * b + 127) / 255); }

// Writes one scanline into a bottom-up BGR row.
void ConvertRow(const JSAMPLE* in, BYTE* out, JDIMENSION width, int components, bool inverted) {
    switch (components) {
        case 1:
            for (JDIMENSION x = 0; x < width; ++x, out += 3) {
                out[0] = out[1] = out[2] = in[x];
            }
            break;
        case 3:
            for (JDIMENSION x = 0; x < width; ++x, in += 3, out += 3) {
                out[0] = in[2];
                out[1] = in[1];
                out[2] = in[0];
            }
            break;
        default:
            // CMYK (YCCK arrives converted to CMYK). Adobe's writers store the inks inverted
            // (0 = full ink), which a file tells by its Adobe marker.
            for (JDIMENSION x = 0; x < width; ++x, in += 4, out += 3) {
                unsigned c = in[0], m = in[1], y = in[2], k = in[3];
                if (!inverted) {
                    c = 255 - c;
                    m = 255 - m;
                    y = 255 - y;
                    k = 255 - k;
                }
                out[0] = Multiply255(y, k);
                out[1] = Multiply255(m, k);
                out[2] = Multiply255(c, k);
            }
            break;
    }
}

// Everything below runs between the return point in DecodeStream and its end: no function here
// holds an object with a destructor, since a longjmp from the library skips their frames.

// Refuses what our rows cannot hold before the library or we allocate for it: past 21,844
// pixels the 16-bit stride rule yields a row too short for its pixels.
bool FitsOurRows(JDIMENSION width, JDIMENSION height) {
    return width != 0 && height != 0 && width <= JDIMENSION(kMaxWidth24) &&
           std::uint64_t(cBitmap::RowStride(std::int32_t(width), 24)) * height <= kMaxPixelBlock;
}

// Gives the bitmap an empty 24-bit block of width x height.
bool InstallBlock(cBitmap& bitmap, std::int32_t width, std::int32_t height) {
    const DWORD stride = DWORD(cBitmap::RowStride(width, 24));
    HGLOBAL handle;
    BYTE* pixels;
    if (!AllocatePixelBlock(std::uint64_t(stride) * DWORD(height), handle, pixels)) return false;
    bitmap.FreeBits();  // a reused bitmap: its old rows go with their old header
    std::memset(&bitmap.FHeader, 0, sizeof(bitmap.FHeader));
    bitmap.FHeader.biSize = 40;
    bitmap.FHeader.biWidth = width;
    bitmap.FHeader.biHeight = height;
    bitmap.FHeader.biPlanes = 1;
    bitmap.FHeader.biBitCount = 24;
    bitmap.FHeader.biCompression = BI_RGB;
    bitmap.InstallBits(handle, pixels, stride);
    return true;
}

JSAMPARRAY RowBuffer(j_decompress_ptr cinfo, JDIMENSION samples) {
    return (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE, samples,
                                       1);
}

// Moves the library to `scanline`, skipping the rows in between where that is safe. libjpeg-
// turbo 2.1.5 mis-skips from inside an upsampler row group (max_v_samp_factor rows at full
// scale) when the skip stays in the current iMCU row: the upsampler keeps its held row and the
// next read returns a stale one. So the rows up to the next row-group boundary are read, and
// skips start only on a boundary.
void AdvanceTo(j_decompress_ptr cinfo, JDIMENSION scanline, JSAMPARRAY scratch) {
    const auto group = JDIMENSION(cinfo->max_v_samp_factor);
    while (cinfo->output_scanline < scanline && cinfo->output_scanline % group != 0) {
        jpeg_read_scanlines(cinfo, scratch, 1);
    }
    if (cinfo->output_scanline < scanline) {
        jpeg_skip_scanlines(cinfo, scanline - cinfo->output_scanline);
    }
}

// The orientation the picture's Exif block gives (1 when it has none): the first saved APP1
// marker that is an Exif block decides.
int MarkerOrientation(j_decompress_ptr cinfo) {
    for (jpeg_saved_marker_ptr m = cinfo->marker_list; m; m = m->next) {
        if (m->marker != JPEG_APP0 + 1 || m->data_length < 6 ||
            std::memcmp(m->data, "Exif\0\0", 6) != 0) {
            continue;
        }
        return ExifOrientation(m->data, m->data_length);
    }
    return 1;
}

// The index a shrunk axis takes at i: NearestSource, or, along an axis that the turn mirrors,
// NearestSource counted from the other end. Turning the small picture then gives exactly what
// shrinking the turned full picture gives: the upright picture is sampled the same way
// whichever way it was stored.
inline std::int32_t AxisSource(std::int32_t source, std::int32_t target, std::int32_t i,
                               bool mirrored) {
    return mirrored ? source - 1 - NearestSource(source, target, target - 1 - i)
                    : NearestSource(source, target, i);
}

// Where the scanlines go: the target rows of an outWidth x outHeight picture (the full size, or
// the fitted one, whose row i takes the source row AxisSource gives), through a buffer unless
// the library already writes our rows' layout at our width.
struct RowPlan {
    std::int32_t outWidth, outHeight;
    bool direct;       // the library writes blue, green, red
    bool inverted;     // CMYK with Adobe's inverted inks
    bool mirrorRows;   // the turn mirrors the stored rows
    JSAMPARRAY input;  // one scanline as the library writes it
    JSAMPARRAY bgr;    // that scanline in blue, green, red, when a shrink needs it separately
    DWORD* columns;    // byte offsets of the target columns; null at full width
};

// The fit is made for the upright picture: a picture that the turn stands on its side is
// fitted into the box turned the same way, and turned once it is small.
RowPlan PlanRows(j_decompress_ptr cinfo, bool direct, const PictureTurn& turn,
                 std::int32_t fitWidth, std::int32_t fitHeight) {
    const auto width = std::int32_t(cinfo->output_width);
    const auto height = std::int32_t(cinfo->output_height);
    RowPlan plan{width,        height,  direct,  cinfo->saw_Adobe_marker != 0,
                 turn.mirrorY, nullptr, nullptr, nullptr};
    if (fitWidth > 0 && fitHeight > 0) {
        std::int32_t uprightWidth, uprightHeight;
        if (turn.transposed) {
            FitSize(height, width, fitWidth, fitHeight, uprightWidth, uprightHeight);
            plan.outWidth = uprightHeight;
            plan.outHeight = uprightWidth;
        } else {
            FitSize(width, height, fitWidth, fitHeight, plan.outWidth, plan.outHeight);
        }
    }
    plan.input = RowBuffer(cinfo, cinfo->output_width * JDIMENSION(cinfo->output_components));
    if (plan.outWidth != width) {
        plan.bgr = direct ? plan.input : RowBuffer(cinfo, cinfo->output_width * 3);
        plan.columns = static_cast<DWORD*>(
            (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                       sizeof(DWORD) * std::size_t(plan.outWidth)));
        for (std::int32_t j = 0; j < plan.outWidth; ++j) {
            plan.columns[j] = DWORD(AxisSource(width, plan.outWidth, j, turn.mirrorX)) * 3;
        }
    }
    return plan;
}

// Reads the next scanline into the target row.
void ReadRow(j_decompress_ptr cinfo, const RowPlan& plan, BYTE* target) {
    if (plan.direct && !plan.columns) {
        JSAMPROW row = target;
        jpeg_read_scanlines(cinfo, &row, 1);
        return;
    }
    jpeg_read_scanlines(cinfo, plan.input, 1);
    if (!plan.columns) {
        ConvertRow(plan.input[0], target, cinfo->output_width, cinfo->output_components,
                   plan.inverted);
        return;
    }
    if (!plan.direct) {
        ConvertRow(plan.input[0], plan.bgr[0], cinfo->output_width, cinfo->output_components,
                   plan.inverted);
    }
    SampleRow(plan.bgr[0], plan.columns, plan.outWidth, target);
}

// Decodes every target row, top row first (stored rows are bottom-up, so the last comes first).
ErrorCode ReadRows(j_decompress_ptr cinfo, cBitmap& bitmap, bool direct, const PictureTurn& turn,
                   std::int32_t fitWidth, std::int32_t fitHeight) {
    const RowPlan plan = PlanRows(cinfo, direct, turn, fitWidth, fitHeight);
    if (!InstallBlock(bitmap, plan.outWidth, plan.outHeight)) return ERR_OUT_OF_MEMORY;
    const auto height = std::int32_t(cinfo->output_height);
    for (std::int32_t i = plan.outHeight - 1; i >= 0; --i) {
        if (bitmap.IsCancelled()) {
            bitmap.FreeBits();
            return ERR_CANCELLED;
        }
        const std::int32_t sourceRow = AxisSource(height, plan.outHeight, i, plan.mirrorRows);
        AdvanceTo(cinfo, JDIMENSION(height - 1 - sourceRow), plan.input);
        ReadRow(cinfo, plan, bitmap.Row(i));
    }
    // The rest of the data is still read, so a picture that is broken past the last row used
    // fails here just as a full decode would. A skip to the very end would not do: libjpeg-turbo
    // then marks the data as read without reading it, and a broken tail passes unnoticed. So
    // the skip stops one row short and the last row is read.
    if (cinfo->output_scanline < cinfo->output_height) {
        AdvanceTo(cinfo, cinfo->output_height - 1, plan.input);
        jpeg_read_scanlines(cinfo, plan.input, 1);
    }
    return 0;
}

// Where the JPEG data comes from: an open stream, or bytes in memory.
struct JpegInput {
    std::FILE* stream;
    const std::uint8_t* data;
    std::size_t size;
};

// The bounds are the bitmap's (kMaxWidth24, kMaxPixelBlock).
static_assert(kMaxWidth24 == 21844 && kMaxPixelBlock == 1ull << 30, "the reason below names them");
constexpr char kTooLarge[] = "the picture is wider than 21844 pixels or larger than 1 GiB decoded";

void SetReason(const JpegErrorManager& errors, const char* text) {
    if (errors.reason) std::snprintf(errors.reason, JMSG_LENGTH_MAX, "%s", text);
}

// Reads the header and starts the decompressor, or says why the picture cannot be ours. A
// sink, when given, chooses the DCT scale once the size and orientation are known.
ErrorCode StartDecode(j_decompress_ptr cinfo, const JpegInput& input, bool& direct,
                      PictureTurn& turn, JpegRowSink* sink = nullptr) {
    if (input.stream) {
        jpeg_stdio_src(cinfo, input.stream);
    } else {
        jpeg_mem_src(cinfo, const_cast<unsigned char*>(input.data), (unsigned long)input.size);
    }
    // The Exif block, where a camera records the picture's orientation.
    jpeg_save_markers(cinfo, JPEG_APP0 + 1, 0xFFFF);
    jpeg_read_header(cinfo, TRUE);
    const auto& errors = *reinterpret_cast<const JpegErrorManager*>(cinfo->err);
    // Upright, the picture must fit our rows too, fitted or not: one decision for both.
    const int orientation = MarkerOrientation(cinfo);
    turn = TurnFor(orientation);
    if (!FitsOurRows(cinfo->image_width, cinfo->image_height) ||
        (turn.transposed && !FitsOurRows(cinfo->image_height, cinfo->image_width))) {
        SetReason(errors, kTooLarge);
        return ERR_INVALID_FORMAT;
    }
    if (sink) {
        cinfo->scale_num =
            unsigned(std::clamp(sink->ChooseScale(std::int32_t(cinfo->image_width),
                                                  std::int32_t(cinfo->image_height), orientation),
                                1, 8));
        cinfo->scale_denom = 8;
    }
#ifdef JCS_EXTENSIONS
    // libjpeg-turbo can write blue, green, red itself, grey included (s, s, s), with the same
    // colour arithmetic: scanlines then go straight into their rows, with no second pass.
    direct = cinfo->out_color_space == JCS_RGB || cinfo->out_color_space == JCS_GRAYSCALE;
    if (direct) cinfo->out_color_space = JCS_EXT_BGR;
#else
    direct = false;
#endif
    jpeg_start_decompress(cinfo);
    const int components = cinfo->output_components;
    if (components != 1 && components != 3 && components != 4) {
        SetReason(errors, "the picture is neither grey, colour nor CMYK");
        return ERR_INVALID_FORMAT;
    }
    if (!FitsOurRows(cinfo->output_width, cinfo->output_height)) {
        SetReason(errors, kTooLarge);
        return ERR_INVALID_FORMAT;
    }
    return 0;
}

// Hands the rows the sink wants to it, skipping those before them; the decode stops after the
// last, so a picture broken past it is not noticed.
ErrorCode StreamRows(j_decompress_ptr cinfo, bool direct, JpegRowSink& sink) {
    const auto width = std::int32_t(cinfo->output_width);
    const auto height = std::int32_t(cinfo->output_height);
    std::int32_t first = 0, end = height;
    if (!sink.Begin(width, height, first, end)) return ERR_INVALID_FORMAT;
    first = std::clamp(first, 0, height);
    end = std::clamp(end, first, height);
    JSAMPARRAY input = RowBuffer(cinfo, cinfo->output_width * JDIMENSION(cinfo->output_components));
    JSAMPARRAY bgr = direct ? input : RowBuffer(cinfo, cinfo->output_width * 3);
    AdvanceTo(cinfo, JDIMENSION(first), input);
    for (std::int32_t y = first; y < end; ++y) {
        jpeg_read_scanlines(cinfo, input, 1);
        if (!direct) {
            ConvertRow(input[0], bgr[0], cinfo->output_width, cinfo->output_components,
                       cinfo->saw_Adobe_marker != 0);
        }
        if (!sink.Row(y, bgr[0])) return ERR_CANCELLED;
    }
    return 0;
}

// What a decode makes: the bitmap, fitted when a fit is given, or, with a sink, no picture at
// all: the rows go to the sink, and the decode ends after its last row (no
// jpeg_finish_decompress, so the rows after it are never read).
struct JpegTarget {
    cBitmap* bitmap;
    std::int32_t fitWidth, fitHeight;
    JpegRowSink* sink;
};

// The return point for the library's fatal errors. The stream belongs to the caller. The turn
// the picture's Exif block asks for is left in `turn`; the rows come out fitted for it.
ErrorCode DecodeStream(const JpegInput& input, const JpegTarget& target, char* reason,
                       PictureTurn& turn) {
    jpeg_decompress_struct cinfo;
    JpegErrorManager errors;
    errors.reason = reason;
    jpeg_progress_mgr progress;
    std::memset(&progress, 0, sizeof(progress));
    progress.progress_monitor = ScanLimitMonitor;
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = ErrorExit;
    errors.pub.emit_message = EmitMessage;
    if (setjmp(errors.returnPoint)) {
        jpeg_destroy_decompress(&cinfo);
        return ERR_INVALID_FORMAT;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.progress = &progress;
    bool direct = false;
    ErrorCode code = StartDecode(&cinfo, input, direct, turn, target.sink);
    if (code == 0 && target.sink) {
        code = StreamRows(&cinfo, direct, *target.sink);
    } else if (code == 0) {
        code = ReadRows(&cinfo, *target.bitmap, direct, turn, target.fitWidth, target.fitHeight);
        if (code == 0) jpeg_finish_decompress(&cinfo);
    }
    jpeg_destroy_decompress(&cinfo);
    return code;
}

ErrorCode StreamJpegInput(const JpegInput& input, JpegRowSink& sink, std::string* reason) {
    char text[JMSG_LENGTH_MAX] = "";
    PictureTurn turn;  // the sink was told the orientation
    const ErrorCode code =
        DecodeStream(input, {nullptr, 0, 0, &sink}, reason ? text : nullptr, turn);
    if (reason) *reason = text;
    return code;
}

// Decodes, then stands the (fitted) picture upright.
ErrorCode Decode(cBitmap& bitmap, const JpegInput& input, std::int32_t fitWidth,
                 std::int32_t fitHeight, std::string* reason) {
    char text[JMSG_LENGTH_MAX] = "";
    PictureTurn turn;
    ErrorCode code =
        DecodeStream(input, {&bitmap, fitWidth, fitHeight, nullptr}, reason ? text : nullptr, turn);
    if (code == 0) {
        code = TurnBitmap(bitmap, turn);
        if (code != 0) bitmap.FreeBits();
    }
    if (reason) *reason = text;
    return code;
}

}  // namespace

ErrorCode LoadJpeg(cBitmap& bitmap, const char* name, std::int32_t offset, std::int32_t fitWidth,
                   std::int32_t fitHeight) {
    std::FILE* stream = std::fopen(name, "rb");
    if (!stream) return ERR_OPEN_FAILED;
    std::fseek(stream, offset, SEEK_SET);
    const ErrorCode code =
        Decode(bitmap, JpegInput{stream, nullptr, 0}, fitWidth, fitHeight, nullptr);
    std::fclose(stream);
    return code;
}

ErrorCode LoadJpegBytes(cBitmap& bitmap, const std::uint8_t* data, std::size_t size,
                        std::int32_t fitWidth, std::int32_t fitHeight, std::string* reason) {
    return Decode(bitmap, JpegInput{nullptr, data, size}, fitWidth, fitHeight, reason);
}

ErrorCode StreamJpeg(std::FILE* stream, JpegRowSink& sink, std::string* reason) {
    return StreamJpegInput(JpegInput{stream, nullptr, 0}, sink, reason);
}

ErrorCode StreamJpegBytes(const std::uint8_t* data, std::size_t size, JpegRowSink& sink,
                          std::string* reason) {
    return StreamJpegInput(JpegInput{nullptr, data, size}, sink, reason);
}
