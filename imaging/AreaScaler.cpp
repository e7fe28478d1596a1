#include "imaging/AreaScaler.h"

#include <algorithm>
#include <utility>

namespace {

constexpr std::int64_t kMaxSide = 1 << 16;  // keeps a row's sums (255 * width) in 32 bits

// The target cells [first, last] that the source cell `i` overlaps, where a source cell is
// `sourceUnit` units long and a target cell `targetUnit`.
std::pair<std::int64_t, std::int64_t> Overlapped(std::int64_t i, std::int64_t sourceUnit,
                                                 std::int64_t targetUnit) {
    return {i * sourceUnit / targetUnit, ((i + 1) * sourceUnit - 1) / targetUnit};
}

std::int64_t Overlap(std::int64_t i, std::int64_t sourceUnit, std::int64_t j,
                     std::int64_t targetUnit) {
    return std::min((i + 1) * sourceUnit, (j + 1) * targetUnit) -
           std::max(i * sourceUnit, j * targetUnit);
}

}  // namespace

bool AreaScaler::Valid(std::int32_t sourceWidth, std::int32_t sourceHeight,
                       std::int32_t scaledWidth, std::int32_t scaledHeight,
                       const ScaleWindow& window) {
    for (const std::int64_t side : {sourceWidth, sourceHeight})
        if (side <= 0 || side > kMaxSide) return false;
    if (scaledWidth <= 0 || scaledHeight <= 0) return false;
    if (window.Width == 0 && window.Height == 0) return true;
    return window.X >= 0 && window.Y >= 0 && window.Width > 0 && window.Height > 0 &&
           std::int64_t(window.X) + window.Width <= scaledWidth &&
           std::int64_t(window.Y) + window.Height <= scaledHeight;
}

AreaScaler::AreaScaler(std::int32_t sourceWidth, std::int32_t sourceHeight,
                       std::int32_t scaledWidth, std::int32_t scaledHeight, ScaleWindow window,
                       RowSink sink)
    : FSourceHeight(sourceHeight),
      FScaledHeight(scaledHeight),
      FWindow(window),
      FSink(std::move(sink)),
      FScale(1.0 / (double(sourceWidth) * double(sourceHeight))) {
    if (FWindow.Width == 0 && FWindow.Height == 0) FWindow = {0, 0, scaledWidth, scaledHeight};
    const std::int64_t left = FWindow.X, right = std::int64_t(FWindow.X) + FWindow.Width;
    // Only the source columns that reach the window get shares.
    const std::int64_t firstColumn = left * sourceWidth / scaledWidth;
    const std::int64_t endColumn = (right * sourceWidth + scaledWidth - 1) / scaledWidth;
    for (std::int64_t i = firstColumn; i < endColumn; ++i) {
        const auto [first, last] = Overlapped(i, scaledWidth, sourceWidth);
        for (std::int64_t j = std::max(first, left); j <= last && j < right; ++j)
            FShares.push_back({std::uint32_t(i), std::uint32_t(j - left),
                               std::uint32_t(Overlap(i, scaledWidth, j, sourceWidth))});
    }
    const std::int64_t top = FWindow.Y, bottom = top + FWindow.Height;
    FFirstRow = std::int32_t(top * sourceHeight / scaledHeight);
    FEndRow = std::int32_t((bottom * sourceHeight + scaledHeight - 1) / scaledHeight);
    const std::size_t values = std::size_t(FWindow.Width) * 3;
    FRowSums.assign(values, 0);
    FGather.assign(values, 0);
    FOut.assign(values, 0);
}

void AreaScaler::PushRow(const std::uint8_t* pixels) {
    const std::int32_t row = FNextRow++;
    if (row < FFirstRow || row >= FEndRow || !pixels) return;
    SumRow(pixels);
    GatherRow(row);
}

void AreaScaler::SumRow(const std::uint8_t* pixels) {
    std::fill(FRowSums.begin(), FRowSums.end(), 0);
    std::uint32_t* sums = FRowSums.data();
    for (const Share& share : FShares) {
        const std::uint8_t* s = pixels + std::size_t(share.Source) * 3;
        std::uint32_t* t = sums + std::size_t(share.Target) * 3;
        t[0] += s[0] * share.Weight;
        t[1] += s[1] * share.Weight;
        t[2] += s[2] * share.Weight;
    }
}

// Adds the summed source row to each target row it overlaps, finishing those that end inside
// it: rows come in order, so one target row is ever being gathered.
void AreaScaler::GatherRow(std::int32_t sourceRow) {
    const auto [first, last] = Overlapped(sourceRow, FScaledHeight, FSourceHeight);
    const std::int64_t top = FWindow.Y, bottom = top + FWindow.Height;
    for (std::int64_t r = std::max(first, top); r <= last && r < bottom; ++r) {
        const std::uint64_t weight =
            std::uint64_t(Overlap(sourceRow, FScaledHeight, r, FSourceHeight));
        for (std::size_t k = 0; k < FGather.size(); ++k) FGather[k] += FRowSums[k] * weight;
        if ((r + 1) * FSourceHeight <= (std::int64_t(sourceRow) + 1) * FScaledHeight)
            EmitRow(std::int32_t(r - top));
    }
}

void AreaScaler::EmitRow(std::int32_t targetRow) {
    for (std::size_t k = 0; k < FGather.size(); ++k) {
        FOut[k] = std::uint8_t(std::min(255.0, double(FGather[k]) * FScale + 0.5));
        FGather[k] = 0;
    }
    FSink(targetRow, FOut.data());
}
