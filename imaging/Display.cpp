#include "imaging/Display.h"

#include <algorithm>
#include <atomic>
#include <memory>

#include "support/Handles.h"

namespace {

std::atomic<const DisplayInfo*> gOverride{nullptr};

// Owns the current override; an old one is kept until exit, since a thread may still be
// reading it (overrides are set a handful of times per process).
std::unique_ptr<DisplayInfo>& OverrideSlot() {
    static std::unique_ptr<DisplayInfo> slot[64];
    static int next = 0;
    return slot[next++ % 64];
}

DisplayInfo RealDisplay() {
    DisplayInfo info;
#ifdef _WIN32
    ScopedWindowDC screen(nullptr);
    if (HDC dc = screen.Get()) {
        info.bitsPerPixel = GetDeviceCaps(dc, BITSPIXEL);
        info.hasPalette = (GetDeviceCaps(dc, RASTERCAPS) & RC_PALETTE) != 0;
        info.sizePalette = GetDeviceCaps(dc, SIZEPALETTE);
        info.numColors = GetDeviceCaps(dc, NUMCOLORS);
        info.numReserved = GetDeviceCaps(dc, NUMRESERVED);
        if (info.hasPalette) {
            GetSystemPaletteEntries(dc, 0, 256, info.systemPalette);
        }
    }
#endif
    return info;
}

DisplayInfo Current() {
    const DisplayInfo* info = gOverride.load(std::memory_order_acquire);
    return info ? *info : RealDisplay();
}

}  // namespace

DisplayInfo SimulatedDisplay(int bitsPerPixel) {
    DisplayInfo info;
    info.bitsPerPixel = bitsPerPixel;
    if (bitsPerPixel > 4 && bitsPerPixel <= 8) {
        info.hasPalette = true;
        info.sizePalette = 1 << bitsPerPixel;
        info.numColors = 20;
        info.numReserved = 20;
        // The system's default static colours: ten at each end.
        static const BYTE kStatic[20][3] = {
            {0, 0, 0},       {128, 0, 0},     {0, 128, 0},     {128, 128, 0},   {0, 0, 128},
            {128, 0, 128},   {0, 128, 128},   {192, 192, 192}, {192, 220, 192}, {166, 202, 240},
            {255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},     {0, 255, 0},
            {255, 255, 0},   {0, 0, 255},     {255, 0, 255},   {0, 255, 255},   {255, 255, 255}};
        const int size = info.sizePalette;
        for (int i = 0; i < size; ++i) info.systemPalette[i] = {255, 255, 255, 0};
        for (int i = 0; i < 10 && i < size; ++i) {
            info.systemPalette[i] = {kStatic[i][0], kStatic[i][1], kStatic[i][2], 0};
            const int high = size - 10 + i;
            if (high >= 0) {
                info.systemPalette[high] = {kStatic[10 + i][0], kStatic[10 + i][1],
                                            kStatic[10 + i][2], 0};
            }
        }
    } else if (bitsPerPixel <= 4) {
        info.numColors = 1 << bitsPerPixel;
        info.numReserved = 0;
    }
    return info;
}

void SetDisplayOverride(const DisplayInfo* info) {
    if (!info) {
        gOverride.store(nullptr, std::memory_order_release);
        return;
    }
    auto& slot = OverrideSlot();
    auto copy = std::make_unique<DisplayInfo>(*info);
    gOverride.store(copy.get(), std::memory_order_release);
    slot = std::move(copy);
}

int ScreenBitsPerPixel() { return Current().bitsPerPixel; }

int DisplayPaletteSize() {
    const DisplayInfo info = Current();
    return info.hasPalette ? info.sizePalette : info.numColors;
}

bool IsPaletteDisplay() { return Current().hasPalette; }

int ReservedColorCount() { return Current().numReserved; }

void GetSystemPalette(PALETTEENTRY* entries, int count) {
    const DisplayInfo info = Current();
    std::copy_n(info.systemPalette, std::clamp(count, 0, 256), entries);
}
