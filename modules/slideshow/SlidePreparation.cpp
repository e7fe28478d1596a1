#include "modules/slideshow/SlidePreparation.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <functional>
#include <new>
#include <optional>
#include <vector>

#include "imaging/Bitmap.h"
#include "imaging/JpegFile.h"
#include "imaging/Orientation.h"
#include "support/File.h"

namespace {

// An Exif orientation as a turn of top-down rows: upright pixel (x, y) is stored pixel (u, v)
// with x from v and y from u when Transposed (else x from u and y from v), u counted from the
// right when FlipU and v from the bottom when FlipV. imaging's PictureTurn says the same for
// bottom-up rows, where the transposing turns have both mirrors the other way round.
struct TopDownTurn {
    bool Transposed, FlipU, FlipV;
};

TopDownTurn TurnOf(int orientation) {
    const PictureTurn turn = TurnFor(orientation);
    return {turn.transposed, turn.transposed != turn.mirrorX, turn.transposed != turn.mirrorY};
}

// a * b / c rounded to the nearest, at least 1.
std::int32_t ScaleSide(std::int64_t a, std::int64_t b, std::int64_t c) {
    return std::int32_t(std::max<std::int64_t>(1, (2 * a * b + c) / (2 * c)));
}

// The range [start, start + length) of an axis of `size`, counted from the other end when
// `flip`.
std::int32_t FlipStart(bool flip, std::int32_t start, std::int32_t length, std::int32_t size) {
    return flip ? size - start - length : start;
}

// Takes the decoded rows of one picture, scales them and writes each finished row, turned, to
// its place in the frame.
class SlideWriter final : public JpegRowSink {
public:
    SlideWriter(const SlideFrame& frame, SlideFit fit, const std::atomic<bool>* cancel)
        : FFrame(frame), FFit(fit), FCancel(cancel) {}

    int ChooseScale(std::int32_t width, std::int32_t height, int orientation) override {
        FTurn = TurnOf(orientation);
        const std::int32_t uprightWidth = FTurn.Transposed ? height : width;
        const std::int32_t uprightHeight = FTurn.Transposed ? width : height;
        FPlace = PlaceSlide(uprightWidth, uprightHeight, FFrame.Width, FFrame.Height, FFit);
        FStoredWidth = FTurn.Transposed ? FPlace.ScaledHeight : FPlace.ScaledWidth;
        FStoredHeight = FTurn.Transposed ? FPlace.ScaledWidth : FPlace.ScaledHeight;
        return DctScaleFor(width, height, FStoredWidth, FStoredHeight);
    }

    bool Begin(std::int32_t width, std::int32_t height, std::int32_t& first,
               std::int32_t& end) override {
        const ScaleWindow& w = FPlace.Window;
        ScaleWindow stored;
        if (FTurn.Transposed) {
            stored = {FlipStart(FTurn.FlipU, w.Y, w.Height, FStoredWidth),
                      FlipStart(FTurn.FlipV, w.X, w.Width, FStoredHeight), w.Height, w.Width};
        } else {
            stored = {FlipStart(FTurn.FlipU, w.X, w.Width, FStoredWidth),
                      FlipStart(FTurn.FlipV, w.Y, w.Height, FStoredHeight), w.Width, w.Height};
        }
        if (!AreaScaler::Valid(width, height, FStoredWidth, FStoredHeight, stored)) {
            FReason = "the picture is too large to scale";
            return false;
        }
        try {
            FScaler.emplace(width, height, FStoredWidth, FStoredHeight, stored,
                            [this](std::int32_t y, const std::uint8_t* row) { PutRow(y, row); });
        } catch (const std::bad_alloc&) {
            FReason = "out of memory";
            return false;
        }
        first = FScaler->FirstNeededRow();
        end = FScaler->EndNeededRow();
        for (std::int32_t y = 0; y < first; ++y) FScaler->PushRow(nullptr);
        return true;
    }

    bool Row(std::int32_t, const std::uint8_t* bgr) override {
        if (FCancel && FCancel->load(std::memory_order_relaxed)) return false;
        FScaler->PushRow(bgr);
        return true;
    }

    const std::string& Reason() const { return FReason; }
    const SlidePlacement& Placement() const { return FPlace; }

private:
    // Row y of the scaler's window: stored pixels (u, v) from the window's left edge along one
    // stored row, which the turn lays along a row or down a column of the frame.
    void PutRow(std::int32_t y, const std::uint8_t* pixels) {
        const ScaleWindow& stored = FScaler->Window();
        const std::int32_t u = FTurn.FlipU ? FStoredWidth - 1 - stored.X : stored.X;
        const std::int32_t v = FTurn.FlipV ? FStoredHeight - 1 - (stored.Y + y) : stored.Y + y;
        const std::int32_t x = (FTurn.Transposed ? v : u) - FPlace.Window.X + FPlace.Left;
        const std::int32_t row = (FTurn.Transposed ? u : v) - FPlace.Window.Y + FPlace.Top;
        std::uint8_t* out = FFrame.Pixels + row * FFrame.Stride + std::ptrdiff_t(x) * 3;
        const std::ptrdiff_t along =
            (FTurn.FlipU ? -1 : 1) * (FTurn.Transposed ? FFrame.Stride : std::ptrdiff_t(3));
        for (std::int32_t i = 0; i < stored.Width; ++i) {
            std::memcpy(out + i * along, pixels + std::ptrdiff_t(i) * 3, 3);
        }
    }

    SlideFrame FFrame;
    SlideFit FFit;
    const std::atomic<bool>* FCancel;
    TopDownTurn FTurn{};
    SlidePlacement FPlace;
    std::int32_t FStoredWidth = 0, FStoredHeight = 0;
    std::optional<AreaScaler> FScaler;
    std::string FReason;
};

// Gives the writer a BMP's rows in stored order, bottom row first, which it takes as a picture
// mirrored top to bottom (orientation 4). `next` fills the next stored row (RowStride bytes);
// one row is held, expanded to 24 bits where it has fewer.
ErrorCode StreamStoredRows(const cBitmap& bmp, const std::function<void(BYTE*)>& next,
                           SlideWriter& writer) {
    const std::int32_t width = bmp.Width(), height = bmp.Height();
    const bool indexed = bmp.BitCount() != 24;
    writer.ChooseScale(width, height, 4);
    std::int32_t first = 0, end = height;
    if (!writer.Begin(width, height, first, end)) return ERR_INVALID_FORMAT;
    std::vector<BYTE> row(std::size_t(cBitmap::RowStride(width, bmp.BitCount())));
    std::vector<BYTE> wide(indexed ? std::size_t(width) * 3 : 0);
    for (std::int32_t y = 0; y < end; ++y) {
        next(row.data());
        if (y < first) continue;
        if (indexed) bmp.ExpandRow(row.data(), wide.data());
        if (!writer.Row(y, indexed ? wide.data() : row.data())) return ERR_CANCELLED;
    }
    return 0;
}

// Uncompressed rows come straight from the data, as the saver's reader would read them:
// rows the data does not hold (a file cut short, a short image-size field) are zeros.
ErrorCode StreamUncompressed(const cBitmap& layout, const std::function<DWORD(BYTE*, DWORD)>& read,
                             SlideWriter& writer) {
    const DWORD stride = DWORD(cBitmap::RowStride(layout.Width(), layout.BitCount()));
    std::uint64_t left =
        std::min<std::uint64_t>(layout.ImageSize(), std::uint64_t(stride) * DWORD(layout.Height()));
    return StreamStoredRows(
        layout,
        [&](BYTE* row) {
            const DWORD want = DWORD(std::min<std::uint64_t>(left, stride));
            const DWORD got = want ? read(row, want) : 0;
            left = got < want ? 0 : left - got;
            std::memset(row + got, 0, stride - got);
        },
        writer);
}

// Compressed (RLE) BMPs are decoded whole, at their own 4 or 8 bits a pixel (the tool stores
// RLE only for pictures of at most 256 colours), then streamed.
ErrorCode StreamDecoded(cBitmap& bitmap, SlideWriter& writer) {
    std::int32_t stored = 0;
    return StreamStoredRows(
        bitmap, [&](BYTE* row) { std::memcpy(row, bitmap.Row(stored++), bitmap.FStride); }, writer);
}

ErrorCode StreamBmp(const SlideSource& source, SlideWriter& writer) {
    cBitmap bitmap;  // its owner frees its pixels
    ErrorCode code;
    if (source.Bytes) {
        std::size_t at = 0;
        code = bitmap.ReadBmpLayoutBytes(source.Bytes, source.Size, at);
        if (code == 0 && bitmap.FHeader.biCompression == BI_RGB) {
            return StreamUncompressed(
                bitmap,
                [&](BYTE* out, DWORD count) {
                    const DWORD n = DWORD(std::min<std::size_t>(count, source.Size - at));
                    std::memcpy(out, source.Bytes + at, n);
                    at += n;
                    return n;
                },
                writer);
        }
        if (code == 0) code = bitmap.ReadBmpBytes(source.Bytes, source.Size);
    } else {
        cFile file;
        if (file.Open(source.Path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE) != 0)
            return file.GetError();
        ScopedFileClose close(file);
        file.Seek(std::int32_t(source.Offset), FILE_BEGIN);
        code = bitmap.ReadBmpLayout(file);
        if (code == 0 && bitmap.FHeader.biCompression == BI_RGB) {
            return StreamUncompressed(
                bitmap, [&](BYTE* out, DWORD count) { return file.Read(out, count); }, writer);
        }
        if (code == 0) {
            file.Seek(std::int32_t(source.Offset), FILE_BEGIN);
            code = bitmap.ReadBmp(file);
        }
    }
    if (code == 0) code = StreamDecoded(bitmap, writer);
    bitmap.FreeBits();
    return code;
}

ErrorCode StreamJpegSource(const SlideSource& source, SlideWriter& writer, std::string& reason) {
    if (source.Bytes) return StreamJpegBytes(source.Bytes, source.Size, writer, &reason);
    if (source.Offset < 0 || source.Offset > LONG_MAX) return ERR_INVALID_FORMAT;
    std::FILE* file = std::fopen(source.Path, "rb");
    if (!file) return ERR_OPEN_FAILED;
    ErrorCode code = ERR_READ_FAILED;
    if (std::fseek(file, long(source.Offset), SEEK_SET) == 0)
        code = StreamJpeg(file, writer, &reason);
    std::fclose(file);
    return code;
}

}  // namespace

SlidePlacement PlaceSlide(std::int32_t width, std::int32_t height, std::int32_t frameWidth,
                          std::int32_t frameHeight, SlideFit fit) {
    SlidePlacement place;
    // Whether the picture is wider than the frame, in proportion.
    const bool wider = std::int64_t(width) * frameHeight > std::int64_t(height) * frameWidth;
    if (wider == (fit == SlideFit::Fit)) {
        place.ScaledWidth = frameWidth;
        place.ScaledHeight = ScaleSide(height, frameWidth, width);
    } else {
        place.ScaledWidth = ScaleSide(width, frameHeight, height);
        place.ScaledHeight = frameHeight;
    }
    if (fit == SlideFit::Fit) {
        place.ScaledWidth = std::min(place.ScaledWidth, frameWidth);
        place.ScaledHeight = std::min(place.ScaledHeight, frameHeight);
        place.Window = {0, 0, place.ScaledWidth, place.ScaledHeight};
        // An odd margin's extra pixel goes above and to the left, as ImageMagick centres.
        place.Left = (frameWidth - place.ScaledWidth + 1) / 2;
        place.Top = (frameHeight - place.ScaledHeight + 1) / 2;
    } else {
        place.ScaledWidth = std::max(place.ScaledWidth, frameWidth);
        place.ScaledHeight = std::max(place.ScaledHeight, frameHeight);
        place.Window = {(place.ScaledWidth - frameWidth) / 2,
                        (place.ScaledHeight - frameHeight) / 2, frameWidth, frameHeight};
    }
    return place;
}

int DctScaleFor(std::int32_t width, std::int32_t height, std::int32_t scaledWidth,
                std::int32_t scaledHeight) {
    // libjpeg-turbo's size at m/8 is the full size times m/8, rounded up.
    for (int m = 1; m < 8; ++m) {
        if ((std::int64_t(width) * m + 7) / 8 >= scaledWidth &&
            (std::int64_t(height) * m + 7) / 8 >= scaledHeight)
            return m;
    }
    return 8;
}

std::string PrepareSlide(const SlideSource& source, SlideFit fit, const SlideFrame& frame,
                         const std::atomic<bool>* cancel, SlidePlacement* placed) {
    for (std::int32_t y = 0; y < frame.Height; ++y)
        std::memset(frame.Pixels + y * frame.Stride, 0, std::size_t(frame.Width) * 3);
    SlideWriter writer(frame, fit, cancel);
    std::string reason;
    const ErrorCode code =
        source.Jpeg ? StreamJpegSource(source, writer, reason) : StreamBmp(source, writer);
    if (code == 0) {
        if (placed) *placed = writer.Placement();
        return "";
    }
    if (!writer.Reason().empty()) return writer.Reason();
    return reason.empty() ? ErrorText(code) : reason;
}
