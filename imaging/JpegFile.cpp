#include "imaging/JpegFile.h"

#include "imaging/Transitionsunit.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

// libjpeg's header needs size_t and FILE declared first.
#include <jpeglib.h>

namespace {

// The library reports fatal errors by calling error_exit, which must not return. Ours jumps
// back to the return point in DecodeStream; the jmp_buf sits directly after the library's error
// manager so the routine finds it from the manager alone.
struct JpegErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf returnPoint;
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
    auto* manager = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    std::longjmp(manager->returnPoint, 1);
}

// Warnings (a premature end of data, say) and trace messages are dropped: the library completes
// the picture by its own rules and the decode goes on.
void EmitMessage(j_common_ptr, int) {}

// Called between scans while the library absorbs a multi-scan file.
void ScanLimitMonitor(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor) return;
    auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (dinfo->input_scan_number > kMaxJpegScans) ErrorExit(cinfo);
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

// All library calls live here, after the return point, with no object that has a destructor:
// a longjmp must not skip one. The stream belongs to the caller.
ErrorCode DecodeStream(cBitmap& bitmap, std::FILE* stream, std::int32_t fitWidth,
                       std::int32_t fitHeight) {
    jpeg_decompress_struct cinfo;
    JpegErrorManager errors;
    jpeg_progress_mgr progress;
    std::memset(&progress, 0, sizeof(progress));

    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = ErrorExit;
    errors.pub.emit_message = EmitMessage;
    if (setjmp(errors.returnPoint)) {
        jpeg_destroy_decompress(&cinfo);
        return ERR_INVALID_FORMAT;
    }

    jpeg_create_decompress(&cinfo);
    progress.progress_monitor = ScanLimitMonitor;
    cinfo.progress = &progress;
    jpeg_stdio_src(&cinfo, stream);
    jpeg_read_header(&cinfo, TRUE);

    // Refuse what our rows cannot hold before the library or we allocate for it: past 21,844
    // pixels the 16-bit stride rule yields a row too short for its pixels.
    if (cinfo.image_width == 0 || cinfo.image_height == 0 ||
        cinfo.image_width > JDIMENSION(kMaxWidth24) ||
        std::uint64_t(cBitmap::RowStride(std::int32_t(cinfo.image_width), 24)) *
                cinfo.image_height >
            kMaxPixelBlock) {
        jpeg_destroy_decompress(&cinfo);
        return ERR_INVALID_FORMAT;
    }

#ifdef JCS_EXTENSIONS
    // libjpeg-turbo can write blue, green, red itself, grey included (s, s, s), with the same
    // colour arithmetic: scanlines then go straight into their rows, with no second pass.
    const bool direct = cinfo.out_color_space == JCS_RGB || cinfo.out_color_space == JCS_GRAYSCALE;
    if (direct) cinfo.out_color_space = JCS_EXT_BGR;
#else
    const bool direct = false;
#endif
    jpeg_start_decompress(&cinfo);
    const int components = cinfo.output_components;
    if ((components != 1 && components != 3 && components != 4) ||
        cinfo.output_width > JDIMENSION(kMaxWidth24)) {
        jpeg_destroy_decompress(&cinfo);
        return ERR_INVALID_FORMAT;
    }
    const bool inverted = cinfo.saw_Adobe_marker;

    const auto width = std::int32_t(cinfo.output_width);
    const auto height = std::int32_t(cinfo.output_height);
    std::int32_t outWidth = width, outHeight = height;
    if (direct && fitWidth > 0 && fitHeight > 0) {
        FitSize(width, height, fitWidth, fitHeight, outWidth, outHeight);
    }
    if (outWidth != width || outHeight != height) {
        // Decode and fit in one pass: target row i takes source row (H x i) / H' and column
        // (W x j) / W', as the resampler does; the source rows in between are skipped, which
        // spares their inverse DCT, upsampling and colour conversion.
        const DWORD outStride = DWORD(cBitmap::RowStride(outWidth, 24));
        HGLOBAL handle;
        BYTE* pixels;
        if (!AllocatePixelBlock(std::uint64_t(outStride) * DWORD(outHeight), handle, pixels)) {
            jpeg_destroy_decompress(&cinfo);
            return ERR_OUT_OF_MEMORY;
        }
        bitmap.FreeBits();
        std::memset(&bitmap.FHeader, 0, sizeof(bitmap.FHeader));
        bitmap.FHeader.biSize = 40;
        bitmap.FHeader.biWidth = outWidth;
        bitmap.FHeader.biHeight = outHeight;
        bitmap.FHeader.biPlanes = 1;
        bitmap.FHeader.biBitCount = 24;
        bitmap.FHeader.biCompression = BI_RGB;
        bitmap.InstallBits(handle, pixels, outStride);

        JSAMPARRAY source = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo),
                                                       JPOOL_IMAGE, cinfo.output_width * 3, 1);
        auto* columns = static_cast<JDIMENSION*>(
            (*cinfo.mem->alloc_small)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                      sizeof(JDIMENSION) * std::size_t(outWidth)));
        for (std::int32_t j = 0; j < outWidth; ++j) {
            columns[j] = JDIMENSION(std::int64_t(width) * j / outWidth) * 3;
        }
        // Stored rows are bottom-up, scanlines top-down: the last target row comes first.
        for (std::int32_t i = outHeight - 1; i >= 0; --i) {
            if (bitmap.IsCancelled()) {
                jpeg_destroy_decompress(&cinfo);
                bitmap.FreeBits();
                return ERR_CANCELLED;
            }
            const auto sourceRow = std::int32_t(std::int64_t(height) * i / outHeight);
            const JDIMENSION scanline = JDIMENSION(height - 1 - sourceRow);
            if (scanline > cinfo.output_scanline) {
                jpeg_skip_scanlines(&cinfo, scanline - cinfo.output_scanline);
            }
            jpeg_read_scanlines(&cinfo, source, 1);
            const BYTE* in = source[0];
            BYTE* out = pixels + std::size_t(i) * outStride;
            for (std::int32_t j = 0; j < outWidth; ++j, out += 3) {
                const BYTE* px = in + columns[j];
                out[0] = px[0];
                out[1] = px[1];
                out[2] = px[2];
            }
        }
        // The rest of the data is still read, so a picture that is broken past the last row
        // used fails here just as a full decode would.
        if (cinfo.output_scanline < cinfo.output_height) {
            jpeg_skip_scanlines(&cinfo, cinfo.output_height - cinfo.output_scanline);
        }
        jpeg_finish_decompress(&cinfo);
        jpeg_destroy_decompress(&cinfo);
        return 0;
    }

    const DWORD stride = DWORD((width * 3 + 3) & 0xFFFC);
    HGLOBAL handle;
    BYTE* pixels;
    if (!AllocatePixelBlock(std::uint64_t(stride) * DWORD(height), handle, pixels)) {
        jpeg_destroy_decompress(&cinfo);
        return ERR_OUT_OF_MEMORY;
    }
    bitmap.FreeBits();  // a reused bitmap: its old rows go with their old header
    std::memset(&bitmap.FHeader, 0, sizeof(bitmap.FHeader));
    bitmap.FHeader.biSize = 40;
    bitmap.FHeader.biWidth = width;
    bitmap.FHeader.biHeight = height;
    bitmap.FHeader.biPlanes = 1;
    bitmap.FHeader.biBitCount = 24;
    bitmap.FHeader.biCompression = BI_RGB;
    bitmap.InstallBits(handle, pixels, stride);

    JSAMPARRAY buffer = nullptr;
    if (!direct) {
        buffer = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                            cinfo.output_width * components, 1);
    }
    // The first scanline is the top of the picture: the last stored row.
    BYTE* target = pixels + std::size_t(stride) * (height - 1);
    while (cinfo.output_scanline < cinfo.output_height) {
        if (bitmap.IsCancelled()) {
            jpeg_destroy_decompress(&cinfo);
            bitmap.FreeBits();
            return ERR_CANCELLED;
        }
        if (direct) {
            JSAMPROW row = target;
            jpeg_read_scanlines(&cinfo, &row, 1);
        } else {
            jpeg_read_scanlines(&cinfo, buffer, 1);
            ConvertRow(buffer[0], target, cinfo.output_width, components, inverted);
        }
        target -= stride;
    }

    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return 0;
}

}  // namespace

ErrorCode LoadJpeg(cBitmap& bitmap, const char* name, std::int32_t offset, std::int32_t fitWidth,
                   std::int32_t fitHeight) {
    std::FILE* stream = std::fopen(name, "rb");
    if (!stream) return ERR_OPEN_FAILED;
    std::fseek(stream, offset, SEEK_SET);
    const ErrorCode code = DecodeStream(bitmap, stream, fitWidth, fitHeight);
    std::fclose(stream);
    return code;
}
