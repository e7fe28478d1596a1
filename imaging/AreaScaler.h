// Area averaging (a box filter over exact areas), streamed one source row at a time.
//
// Each target pixel is the mean of the source area it covers, every source pixel weighted by
// the exact part of it inside that area: no pixel is skipped, so fine detail averages to its
// mean colour instead of breaking into moiré as nearest neighbour does. Weights are integers:
// along a row, a source pixel is `scaledWidth` units long and a target pixel `sourceWidth`
// units, so both tile the same length exactly and every overlap is a whole number of units
// (likewise down the columns). Sums are kept exactly (32 bits across a row, 64 bits down a
// column) and divided once, when a target row is complete.
//
// Rows come in top first, and only two rows of state are held (the source row's horizontal
// sums and the target row being gathered), so a decoder can stream a picture through without
// ever holding it whole. Only a window of the scaled picture may be kept (a picture filled to
// a screen is cut at the centre): columns outside it are never summed, rows outside it never
// gathered, and `NeededRows` tells the decoder which source rows it may skip.
//
// Pixels are three bytes, kept in the order given (the slideshow feeds BGR, the tests RGB).
// Enlarging works too (each target pixel then covers part of one or two source pixels); it is
// meant for scaling down.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

struct ScaleWindow {
    std::int32_t X = 0, Y = 0, Width = 0, Height = 0;
};

class AreaScaler {
public:
    // Receives each finished target row: its index inside the window (top first) and
    // `window.Width` pixels.
    using RowSink = std::function<void(std::int32_t y, const std::uint8_t* pixels)>;

    // Scales sourceWidth x sourceHeight to scaledWidth x scaledHeight and keeps `window` of the
    // scaled picture (all of it when the window is empty). Sizes must be positive, the source
    // at most 65536 pixels a side, and the window inside the scaled picture; the caller checks
    // them (`Valid`).
    AreaScaler(std::int32_t sourceWidth, std::int32_t sourceHeight, std::int32_t scaledWidth,
               std::int32_t scaledHeight, ScaleWindow window, RowSink sink);

    static bool Valid(std::int32_t sourceWidth, std::int32_t sourceHeight, std::int32_t scaledWidth,
                      std::int32_t scaledHeight, const ScaleWindow& window);

    // Takes the next source row (sourceWidth pixels). Rows outside NeededRows may be passed as
    // null; they are counted, not read.
    void PushRow(const std::uint8_t* pixels);
    // The source rows [first, last) that reach the window.
    std::int32_t FirstNeededRow() const { return FFirstRow; }
    std::int32_t EndNeededRow() const { return FEndRow; }
    const ScaleWindow& Window() const { return FWindow; }

private:
    struct Share {  // one source column's part of one target column
        std::uint32_t Source;
        std::uint32_t Target;
        std::uint32_t Weight;
    };
    void SumRow(const std::uint8_t* pixels);
    void GatherRow(std::int32_t sourceRow);
    void EmitRow(std::int32_t targetRow);

    std::int64_t FSourceHeight, FScaledHeight;
    ScaleWindow FWindow;
    RowSink FSink;
    std::vector<Share> FShares;
    std::vector<std::uint32_t> FRowSums;  // the source row summed across, per target column
    std::vector<std::uint64_t> FGather;   // the target row being gathered
    std::vector<std::uint8_t> FOut;
    double FScale;  // 1 / (sourceWidth * sourceHeight): a full target pixel's weight
    std::int32_t FNextRow = 0;
    std::int32_t FFirstRow = 0, FEndRow = 0;
};
