// cColorCube: the octree colour quantiser behind the palette on palette displays.
#pragma once

#include <atomic>
#include <cstdint>

#include "imaging/Bitmap.h"

// Live nodes allowed while counting; past this the deepest level is folded into its parents.
constexpr std::uint32_t kMaxCubeNodes = 266817;
constexpr std::uint32_t kCubeNodesPerBlock = 2048;

class cColorCube : public cError {
public:
    struct Node {
        Node* parent;
        Node* children[8];
        BYTE slot;
        BYTE level;
        BYTE childMask;
        BYTE midRed, midGreen, midBlue;
        DWORD weight;
        DWORD pixelCount;
        std::uint64_t redSum, greenSum, blueSum;
        std::int32_t colorIndex;
    };

    cColorCube();

    // Depth 0 picks one from the colour count; a count of 0 asks the display. Returns -1 for a
    // count outside 1..256 (error state untouched), otherwise the error code.
    std::int32_t Initialize(DWORD depth, std::int32_t colorCount);
    ErrorCode AddPicture(const cBitmap& bitmap);
    LOGPALETTE* ChooseColors(std::int32_t colorCount, bool useSystemColors);
    LOGPALETTE* FillUniform(std::int32_t redLevels, std::int32_t greenLevels,
                            std::int32_t blueLevels, bool useSystemColors);
    std::int32_t NearestIndex(BYTE red, BYTE green, BYTE blue);
    void FreeTree();

    LOGPALETTE* Palette() const { return FPalette.get(); }
    std::int32_t FirstFreeIndex() const { return FFirstFree; }
    std::int32_t Colors() const { return FColors; }
    DWORD Depth() const { return FDepth; }
    DWORD NodeCount() const { return FNodeCount; }
    const Node* Root() const { return FRoot; }
    void SetCancel(std::int32_t value) { FCancel.store(value, std::memory_order_relaxed); }

    std::atomic<std::int32_t> FProgress{0};
    std::atomic<std::int32_t> FProgressTotal{0};

private:
    struct Block;

    bool IsCancelled() const { return FCancel.load(std::memory_order_relaxed) != 0; }
    Node* NewNode();
    void FreeBlocks();
    bool MakeRoot();
    ErrorCode Insert(BYTE red, BYTE green, BYTE blue, DWORD count, std::int32_t index);
    // Insert of a counted colour (index 0), through the path of the previous insert when the
    // colour falls in the same cell.
    ErrorCode Count(BYTE red, BYTE green, BYTE blue, DWORD count);
    void MergeLevel(Node* node, DWORD level);
    void MergeIntoParent(Node* node);
    void ReducePass(Node* node);
    bool Shrink(std::int32_t target);
    void Number(Node* node);
    ErrorCode RebuildFromPalette();
    UniqueMemory<LOGPALETTE> MakePaletteRecord(std::int32_t count, bool useSystemColors,
                                               int& reserved);
    void Search(const Node* node, BYTE red, BYTE green, BYTE blue);

    UniqueMemory<LOGPALETTE> FPalette;
    std::atomic<std::int32_t> FCancel{0};
    Node* FRoot = nullptr;
    std::int32_t FColors = 0;
    DWORD FDepth = 0;
    DWORD FMergeThreshold = 0;
    DWORD FNextThreshold = 0;
    DWORD FBestDistance = 0;
    DWORD FSquares[511] = {};
    DWORD FNodeCount = 0;
    DWORD FFreeInBlock = 0;
    Node* FNextNode = nullptr;
    Block* FBlocks = nullptr;
    std::int32_t FNearest = 0;
    // The nodes of the last insert's path (index = level) and its cell; depth 0: none.
    Node* FPath[9] = {};
    DWORD FPathDepth = 0;
    std::uint32_t FPathKey = 0;
    std::int32_t FFirstFree = 0;
};
