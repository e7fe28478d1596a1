// cDither: error diffusion to the colour cube's palette, or to fewer bits per channel; and the
// nearest-neighbour resampler that fitting a picture uses.
#pragma once

#include <atomic>
#include <cstdint>

#include "imaging/Bitmap.h"
#include "imaging/ColorCube.h"

class cDither : public cError {
public:
    cDither();

    // Adaptive (cube, not uniform): parameters are cache bits per channel. Uniform: levels per
    // channel. No cube and 0, 0, 0: reduced bits for 16-bit screens. `spread` > 0 compresses
    // large diffused errors (see the spread table).
    ErrorCode Setup(cColorCube* cube, bool uniform, std::int32_t red, std::int32_t green,
                    std::int32_t blue, std::int32_t spread);
    // Converts a 24-bit bitmap in place.
    ErrorCode DitherBitmap(cBitmap& bitmap);
    // Nearest-neighbour resampling of a 24-bit bitmap to width x height.
    ErrorCode Resample(cBitmap& bitmap, std::int32_t width, std::int32_t height);
    void FreeTables();

    void SetCancel(std::int32_t value) { FCancel.store(value, std::memory_order_relaxed); }
    // The diffused-error compression: value for an error of -255..255.
    std::int32_t Spread(std::int32_t error) const { return FSpread[error]; }
    bool HasSpreadTable() const { return FSpread != nullptr; }

    std::atomic<std::int32_t> FProgress{0};
    std::atomic<std::int32_t> FProgressTotal{0};

private:
    bool IsCancelled() const { return FCancel.load(std::memory_order_relaxed) != 0; }
    // The spread table for `spread` (0: no error passed on).
    void FillSpread(std::int32_t spread);
    ErrorCode ReducedBitPass(cBitmap& bitmap);
    template <int OutBits, int Mode>
    ErrorCode IndexedPass(cBitmap& bitmap, std::int32_t* errorRows, DWORD newStride);
    ErrorCode IndexedPassFor(WORD outBits, int mode, cBitmap& bitmap, std::int32_t* errorRows,
                             DWORD newStride);

    std::atomic<std::int32_t> FCancel{0};
    cColorCube* FCube = nullptr;
    std::int32_t FRed = 0, FGreen = 0, FBlue = 0;
    std::int32_t FTotalBits = 0;
    std::int32_t FCacheSize = 0;
    // Uniform: strides and steps. Otherwise: shifts, key positions and cell offsets.
    std::int32_t FRedStride = 0, FRedStep = 1, FGreenStride = 0, FGreenStep = 1, FBlueStep = 1;
    std::int32_t FRedShift = 0, FRedPos = 0, FGreenShift = 0, FGreenPos = 0, FBlueShift = 0,
                 FBluePos = 0, FRedOffset = 0, FGreenOffset = 0, FBlueOffset = 0;
    bool FUniform = false;
    UniqueMemory<BYTE> FTables;
    std::int16_t* FCache = nullptr;
    std::int32_t* FSpread = nullptr;  // points at the entry for error 0
    BYTE* FClamp = nullptr;           // points at the entry for value 0
    std::int32_t FIndexMap[256] = {};
};
