// The colour cube: an octree quantiser.
//
// Every colour of the pictures is pushed down a tree whose root is the whole RGB cube and whose
// eight children at each level split their parent's cell in half along red, green and blue. A
// colour descends to the configured depth (4 for 256 colours), creating cells as it goes, and
// each cell on the way adds the colour's count to its weight; the leaf also sums count x
// channel so it can give a mean colour later. Runs of equal pixels are inserted once, with a
// count of run length + 1: the extra one gives short runs a little more say than their area,
// which favours the small details that error diffusion otherwise drowns out.
//
// Choosing a palette of T free entries then repeats reduction passes: each pass folds every
// cell whose weight does not exceed a threshold into its parent, the threshold being the
// smallest weight seen on the previous pass. Light cells (rare colours) go first, so the heavy
// colours keep cells of their own. The survivors with pixels are numbered in a fixed order
// (slots 0-3, the cell, slots 4-7) into the palette, after the display's reserved colours.
//
// For lookups the tree is then rebuilt from the finished palette at full depth, so that the
// nearest entry to a colour is found by descending to the deepest existing cell and searching
// only its parent's subtree: not always the true nearest, but close and fast, and the ditherer
// caches the answer per colour cell anyway.
//
// Memory: nodes come from blocks of 2048 and are never freed alone. A photograph can create
// hundreds of thousands of deep cells, so past 266,817 live nodes the deepest level is merged
// into its parents and the tree gets one level shallower.
#include "imaging/ColorCube.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "imaging/Display.h"

struct cColorCube::Block {
    Node nodes[kCubeNodesPerBlock];
    Block* previous;
};

namespace {

// The sixteen colours of a display without a palette: the first eight go to the start of the
// palette, the last eight to its end.
const BYTE kReservedColors[16][3] = {
    {0, 0, 0},     {128, 0, 0},     {0, 128, 0},     {128, 128, 0},  {0, 0, 128}, {128, 0, 128},
    {0, 128, 128}, {192, 192, 192}, {128, 128, 128}, {255, 0, 0},    {0, 255, 0}, {255, 255, 0},
    {0, 0, 255},   {255, 0, 255},   {0, 255, 255},   {255, 255, 255}};

// The record is a LOGPALETTE with its entries following; index them through a pointer, not the
// one-element array of the declaration.
inline PALETTEENTRY* Entries(LOGPALETTE* palette) { return palette->palPalEntry; }

inline int SlotOf(const cColorCube::Node* node, BYTE red, BYTE green, BYTE blue) {
    return (red > node->midRed ? 1 : 0) | (green > node->midGreen ? 2 : 0) |
           (blue > node->midBlue ? 4 : 0);
}

}  // namespace

cColorCube::cColorCube() = default;

cColorCube::Node* cColorCube::NewNode() {
    if (FFreeInBlock == 0) {
        auto* block = new (std::nothrow) Block;
        if (!block) return nullptr;
        block->previous = FBlocks;
        FBlocks = block;
        FNextNode = block->nodes;
        FFreeInBlock = kCubeNodesPerBlock;
    }
    Node* node = FNextNode++;
    --FFreeInBlock;
    ++FNodeCount;
    std::memset(node, 0, sizeof(*node));
    return node;
}

void cColorCube::FreeBlocks() {
    while (FBlocks) {
        Block* previous = FBlocks->previous;
        delete FBlocks;
        FBlocks = previous;
    }
    FRoot = nullptr;
    FPathDepth = 0;
    FNextNode = nullptr;
    FFreeInBlock = 0;
    FNodeCount = 0;
}

bool cColorCube::MakeRoot() {
    FRoot = NewNode();
    if (!FRoot) return false;
    FRoot->parent = FRoot;
    FRoot->midRed = FRoot->midGreen = FRoot->midBlue = 128;
    FRoot->weight = 0xFFFFFFFF;
    return true;
}

std::int32_t cColorCube::Initialize(DWORD depth, std::int32_t colorCount) {
    if (colorCount == 0) colorCount = DisplayPaletteSize();
    if (colorCount <= 0 || colorCount > 256) return -1;
    // A second Initialize starts a new tree; the old blocks would otherwise be lost.
    FreeBlocks();
    if (depth == 0) {
        depth = 1;
        for (std::int32_t c = colorCount; c > 0; c >>= 2) ++depth;
        if (depth > 2) depth -= 2;
    }
    FDepth = std::clamp<DWORD>(depth, 2, 8);
    if (!MakeRoot()) return SetError(ERR_OUT_OF_MEMORY);
    FColors = 0;
    for (int d = -255; d <= 255; ++d) FSquares[d + 255] = DWORD(d * d);
    return SetError(0);
}

ErrorCode cColorCube::Insert(BYTE red, BYTE green, BYTE blue, DWORD count, std::int32_t index) {
    FPathDepth = 0;
    if (FNodeCount > kMaxCubeNodes) {
        MergeLevel(FRoot, FDepth);
        --FDepth;
    }
    Node* node = FRoot;
    for (DWORD level = 1; level <= FDepth; ++level) {
        const int slot = SlotOf(node, red, green, blue);
        Node* child = node->children[slot];
        if (!child) {
            node->childMask |= BYTE(1 << slot);
            child = NewNode();
            if (!child) return ERR_OUT_OF_MEMORY;
            const int half = (1 << (8 - level)) >> 1;
            child->parent = node;
            child->slot = BYTE(slot);
            child->level = BYTE(level);
            child->midRed = BYTE((slot & 1) ? node->midRed + half : node->midRed - half);
            child->midGreen = BYTE((slot & 2) ? node->midGreen + half : node->midGreen - half);
            child->midBlue = BYTE((slot & 4) ? node->midBlue + half : node->midBlue - half);
            node->children[slot] = child;
            if (level == FDepth) ++FColors;
        }
        node = child;
        node->weight += count;
        FPath[level] = node;
    }
    FPathDepth = FDepth;
    node->pixelCount += count;
    node->redSum += std::uint64_t(red) * count;
    node->greenSum += std::uint64_t(green) * count;
    node->blueSum += std::uint64_t(blue) * count;
    node->colorIndex = index;
    return 0;
}

// The cell of a colour at a depth of at most 7: cells split at their middle and a channel value
// equal to the middle goes low, so at depth d they are (k x 2^(8-d), (k+1) x 2^(8-d)], 0 in the
// first.
static std::uint32_t CellKey(BYTE red, BYTE green, BYTE blue, DWORD depth) {
    const DWORD shift = 8 - depth;
    auto cell = [shift](BYTE c) { return std::uint32_t(c ? (c - 1) >> shift : 0); };
    return cell(red) << 16 | cell(green) << 8 | cell(blue);
}

ErrorCode cColorCube::Count(BYTE red, BYTE green, BYTE blue, DWORD count) {
    // Most runs of a photograph land in the cell of the run before: the path is then known,
    // and only its weights and the leaf's sums change, as Insert would change them.
    const bool cached = FDepth <= 7;
    if (cached && FPathDepth == FDepth && FNodeCount <= kMaxCubeNodes &&
        CellKey(red, green, blue, FDepth) == FPathKey) {
        for (DWORD level = 1; level <= FDepth; ++level) FPath[level]->weight += count;
        Node* leaf = FPath[FDepth];
        leaf->pixelCount += count;
        leaf->redSum += std::uint64_t(red) * count;
        leaf->greenSum += std::uint64_t(green) * count;
        leaf->blueSum += std::uint64_t(blue) * count;
        leaf->colorIndex = 0;
        return 0;
    }
    const ErrorCode code = Insert(red, green, blue, count, 0);
    if (cached) FPathKey = CellKey(red, green, blue, FDepth);
    return code;
}

void cColorCube::MergeIntoParent(Node* node) {
    Node* parent = node->parent;
    parent->childMask &= BYTE(~(1 << node->slot));
    parent->pixelCount += node->pixelCount;
    parent->redSum += node->redSum;
    parent->greenSum += node->greenSum;
    parent->blueSum += node->blueSum;
    --FNodeCount;
}

void cColorCube::MergeLevel(Node* node, DWORD level) {
    for (int slot = 0; slot < 8; ++slot) {
        if (node->childMask & (1 << slot)) MergeLevel(node->children[slot], level);
    }
    if (node->level == level && node != FRoot) MergeIntoParent(node);
}

ErrorCode cColorCube::AddPicture(const cBitmap& bitmap) {
    FProgress = 0;
    FProgressTotal = bitmap.Height();
    FPathDepth = 0;  // the tree may have been reduced since
    const WORD bits = bitmap.BitCount();
    if ((bits != 4 && bits != 8 && bits != 24) || !bitmap.HasPixels() || !FRoot) {
        return SetError(ERR_INVALID_FORMAT);
    }
    const std::int32_t width = bitmap.Width();
    const RGBQUAD* table = bitmap.FPalette;
    for (std::int32_t row = 0; row < bitmap.Height(); ++row) {
        FProgress.store(row, std::memory_order_relaxed);
        // The picture's own flag too: a loader cancelled before this cube existed stops it.
        if (bitmap.IsCancelled()) return SetError(ERR_CANCELLED);
        const BYTE* p = bitmap.Row(row);
        // Runs are found by colour, so two indices with equal table entries make one run.
        std::int32_t x = 0;
        while (x < width) {
            if (IsCancelled()) return SetError(ERR_CANCELLED);
            BYTE b, g, r;
            std::int32_t end = x + 1;
            if (bits == 24) {
                const BYTE* px = p + 3 * x;
                b = px[0], g = px[1], r = px[2];
                const BYTE* q = px + 3;
                while (end < width && q[0] == b && q[1] == g && q[2] == r) ++end, q += 3;
            } else {
                auto colorAt = [&](std::int32_t i) -> const RGBQUAD& {
                    if (bits == 8) return table[p[i]];
                    const BYTE packed = p[i / 2];
                    return table[(i & 1) ? (packed & 0x0F) : (packed >> 4)];
                };
                const RGBQUAD& c = colorAt(x);
                b = c.rgbBlue, g = c.rgbGreen, r = c.rgbRed;
                while (end < width) {
                    const RGBQUAD& n = colorAt(end);
                    if (n.rgbBlue != b || n.rgbGreen != g || n.rgbRed != r) break;
                    ++end;
                }
            }
            const ErrorCode code = Count(r, g, b, DWORD(end - x) + 1);
            if (code != 0) return SetError(code);
            x = end;
        }
    }
    return SetError(0);
}

UniqueMemory<LOGPALETTE> cColorCube::MakePaletteRecord(std::int32_t count, bool useSystemColors,
                                                       int& reserved) {
    reserved = 0;
    if (useSystemColors) {
        const int displaySize = DisplayPaletteSize();
        if (displaySize >= 1 && displaySize <= 256 && displaySize > count) count = displaySize;
    }
    if (count < 1 || count > 256) return nullptr;
    // Room for 4 bytes beyond the last entry, as the record has always had.
    const std::size_t bytes =
        offsetof(LOGPALETTE, palPalEntry) + (count + 1) * sizeof(PALETTEENTRY);
    UniqueMemory<LOGPALETTE> palette(static_cast<LOGPALETTE*>(std::calloc(1, bytes)));
    if (!palette) return nullptr;
    PALETTEENTRY* entries = Entries(palette.get());
    for (int i = 0; i < count; ++i) entries[i] = {255, 255, 255, 0};
    if (useSystemColors) {
        if (IsPaletteDisplay()) {
            GetSystemPalette(entries, count);
            for (int i = 0; i < count; ++i) entries[i].peFlags = 0;
            reserved = std::clamp(ReservedColorCount(), 0, 256);
        } else {
            reserved = 16;
            // A palette of fewer than 16 entries keeps what fits.
            for (int i = 0; i < 8 && i < count; ++i) {
                entries[i] = {kReservedColors[i][0], kReservedColors[i][1], kReservedColors[i][2],
                              0};
            }
            for (int i = 0; i < 8; ++i) {
                const int at = count - 1 - i;
                if (at < 0) break;
                const BYTE* c = kReservedColors[15 - i];
                entries[at] = {c[0], c[1], c[2], 0};
            }
        }
    }
    palette->palVersion = 0x300;
    palette->palNumEntries = WORD(count);
    return palette;
}

void cColorCube::ReducePass(Node* node) {
    for (int slot = 0; slot < 8; ++slot) {
        if (node->childMask & (1 << slot)) ReducePass(node->children[slot]);
    }
    if (FMergeThreshold >= node->weight) {
        MergeIntoParent(node);
    } else {
        if (node->pixelCount > 0) ++FColors;
        if (node->weight < FNextThreshold) FNextThreshold = node->weight;
    }
}

bool cColorCube::Shrink(std::int32_t target) {
    const std::int32_t span = FColors;
    FNextThreshold = 1;
    while (target < FColors) {
        if (IsCancelled()) return false;
        FMergeThreshold = FNextThreshold;
        FNextThreshold = FRoot->weight - 1;
        FColors = 0;
        ReducePass(FRoot);
        FProgress = std::min(span - FColors, FProgressTotal.load());
    }
    return true;
}

void cColorCube::Number(Node* node) {
    for (int slot = 0; slot < 4; ++slot) {
        if (node->childMask & (1 << slot)) Number(node->children[slot]);
    }
    const DWORD n = node->pixelCount;
    if (n > 0 && FColors < FPalette->palNumEntries) {
        PALETTEENTRY& entry = Entries(FPalette.get())[FColors];
        entry.peRed = BYTE((node->redSum + n / 2) / n);
        entry.peGreen = BYTE((node->greenSum + n / 2) / n);
        entry.peBlue = BYTE((node->blueSum + n / 2) / n);
        entry.peFlags = 0;
        node->colorIndex = FColors;
        ++FColors;
    }
    for (int slot = 4; slot < 8; ++slot) {
        if (node->childMask & (1 << slot)) Number(node->children[slot]);
    }
}

ErrorCode cColorCube::RebuildFromPalette() {
    FreeBlocks();
    if (!MakeRoot()) return SetError(ERR_OUT_OF_MEMORY);
    FColors = 0;
    FDepth = 8;
    const PALETTEENTRY* entries = Entries(FPalette.get());
    for (int i = 0; i < FPalette->palNumEntries; ++i) {
        const ErrorCode code =
            Insert(entries[i].peRed, entries[i].peGreen, entries[i].peBlue, 1, i);
        if (code != 0) return SetError(code);
    }
    return 0;
}

LOGPALETTE* cColorCube::ChooseColors(std::int32_t colorCount, bool useSystemColors) {
    FProgress = 0;
    FProgressTotal = 100;
    if (!FRoot) {
        SetError(ERR_INVALID_FUNCTION);
        return nullptr;
    }
    FPalette.reset();
    int reserved = 0;
    FPalette = MakePaletteRecord(colorCount, useSystemColors, reserved);
    if (!FPalette) {
        SetError(ERR_OUT_OF_MEMORY);
        return nullptr;
    }
    const std::int32_t freeEntries = FPalette->palNumEntries - reserved;
    if (freeEntries > 0) {
        FProgress = 0;
        FProgressTotal = FColors - freeEntries;
        if (!Shrink(freeEntries)) {
            FPalette.reset();
            SetError(ERR_CANCELLED);
            return nullptr;
        }
        FColors = reserved / 2;
        FFirstFree = reserved / 2;
        Number(FRoot);
    }
    if (RebuildFromPalette() != 0) {
        FPalette.reset();
        return nullptr;
    }
    FProgress = FProgressTotal.load();
    SetError(0);
    return FPalette.get();
}

LOGPALETTE* cColorCube::FillUniform(std::int32_t redLevels, std::int32_t greenLevels,
                                    std::int32_t blueLevels, bool useSystemColors) {
    if (redLevels < 1 || greenLevels < 1 || blueLevels < 1 ||
        std::int64_t(redLevels) * greenLevels * blueLevels > 256) {
        SetError(ERR_OUT_OF_MEMORY);
        return nullptr;
    }
    const std::int32_t cells = redLevels * greenLevels * blueLevels;
    FPalette.reset();
    int reserved = 0;
    FPalette = MakePaletteRecord(256, useSystemColors, reserved);
    if (!FPalette) {
        SetError(ERR_OUT_OF_MEMORY);
        return nullptr;
    }
    if (FPalette->palNumEntries - reserved < cells) {
        FPalette.reset();
        SetError(ERR_OUT_OF_MEMORY);
        return nullptr;
    }
    FColors = FPalette->palNumEntries;
    FFirstFree = reserved / 2;
    const float stepRed = 255.0f / float(redLevels - 1);
    const float stepGreen = 255.0f / float(greenLevels - 1);
    const float stepBlue = 255.0f / float(blueLevels - 1);
    float r = 0, g = 0, b = 0;
    PALETTEENTRY* entries = Entries(FPalette.get());
    for (std::int32_t i = 0; i < cells; ++i) {
        entries[FFirstFree + i] = {BYTE(r), BYTE(g), BYTE(b), 0};
        b += stepBlue;
        if (b > 255) {
            b = 0;
            g += stepGreen;
            if (g > 255) {
                g = 0;
                r += stepRed;
            }
        }
    }
    SetError(0);
    return FPalette.get();
}

void cColorCube::Search(const Node* node, BYTE red, BYTE green, BYTE blue) {
    for (int slot = 0; slot < 8; ++slot) {
        if (node->childMask & (1 << slot)) Search(node->children[slot], red, green, blue);
    }
    if (node->pixelCount > 0 && node->colorIndex >= 0 &&
        node->colorIndex < FPalette->palNumEntries) {
        const PALETTEENTRY& e = Entries(FPalette.get())[node->colorIndex];
        const DWORD distance = FSquares[e.peRed - red + 255] + FSquares[e.peGreen - green + 255] +
                               FSquares[e.peBlue - blue + 255];
        if (distance < FBestDistance) {
            FBestDistance = distance;
            FNearest = node->colorIndex;
        }
    }
}

std::int32_t cColorCube::NearestIndex(BYTE red, BYTE green, BYTE blue) {
    FNearest = 0;
    if (!FRoot || !FPalette) return 0;
    const Node* node = FRoot;
    for (;;) {
        const int slot = SlotOf(node, red, green, blue);
        if (!(node->childMask & (1 << slot))) break;
        node = node->children[slot];
    }
    FBestDistance = 0xFFFFFFFF;
    Search(node->parent, red, green, blue);
    return FNearest;
}

void cColorCube::FreeTree() {
    FreeBlocks();
    FPalette.reset();
}
