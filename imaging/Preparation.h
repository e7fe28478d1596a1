// Preparing loaded pictures for the screen, as the picture loader does it: fit them to the
// target area, then, by the screen's depth, build a colour cube and palette and dither the
// pictures to it. The loader thread, `saverpak preview`, the tests and the benchmarks all go
// through these steps, so what the tool shows is what the saver shows.
//
// Screen depth (from the display seam, imaging/Display.h):
//   below 8   16-colour cube, adaptive, palette, dither to the cube (4-bit pictures)
//   8         256-colour cube, adaptive (or uniform when asked), palette, dither (8-bit)
//   9 to 15   256-colour adaptive cube, no palette, dither with a one-cell cache
//   16 to 23  no cube, no palette, reduced-bit dither (pictures stay 24-bit)
//   24+       nothing: pictures stay as fitted
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "imaging/ColorCube.h"
#include "imaging/Dither.h"
#include "imaging/Transitionsunit.h"
#include "support/Handles.h"

class PicturePreparation {
public:
    explicit PicturePreparation(BYTE adaptive);
    ~PicturePreparation();
    PicturePreparation(const PicturePreparation&) = delete;
    PicturePreparation& operator=(const PicturePreparation&) = delete;

    // Palette step: reads the screen depth, builds the cube and (at 8 bits or fewer) checks the
    // palette record; on Windows also creates the logical palette. Raises on failure.
    void BuildPalette(ssPicture* const* pictures, std::int32_t count);
    // Dither step: every picture through one ditherer. Raises on failure.
    void DitherPictures(ssPicture* const* pictures, std::int32_t count);
    // Chooses levels and spread for the screen depth read by BuildPalette.
    void SetMode(BYTE adaptive);
    // From another thread: asks the cube and the ditherer, if they exist, to stop.
    void Cancel();
    // Frees the cube (and a ditherer left by a failed step). The palette record goes with it.
    void Release();

    std::int32_t ScreenDepth() const { return FScreenDepth; }
    BYTE Adaptive() const { return FAdaptive; }
    std::int32_t RedLevels() const { return FRedLevels; }
    std::int32_t GreenLevels() const { return FGreenLevels; }
    std::int32_t BlueLevels() const { return FBlueLevels; }
    std::int32_t DitherSpread() const { return FSpread; }
    // The cube's palette record, or null; valid until Release.
    const LOGPALETTE* PaletteRecord() const;
    cColorCube* Cube() const {
        std::lock_guard<std::mutex> lock(FLock);
        return FCube.get();
    }
    // Holds the cube's or the ditherer's error after their step failed.
    cError& Error() { return FError; }
#ifdef _WIN32
    // The logical palette made by BuildPalette; the caller takes it over (and deletes it).
    HPALETTE TakePalette();
#endif

private:
    void DropCube();
    void DropDitherer();

    BYTE FAdaptive;
    std::int32_t FScreenDepth = 0;
    std::int32_t FRedLevels = 0, FGreenLevels = 0, FBlueLevels = 0;
    std::int32_t FSpread = 0;
    cError FError;
    // Cancel runs on the window thread while the worker may be deleting these: the mutex
    // keeps a cancel from touching an object that is going away.
    mutable std::mutex FLock;
    std::unique_ptr<cColorCube> FCube;
    std::unique_ptr<cDither> FDither;
#ifdef _WIN32
    UniquePalette FPalette;
#endif
};

// Fits every picture to targetWidth x targetHeight (skipped when either is 0). Stops before
// the next picture once `stopped`, when given, says so. Raises on failure.
void FitPictures(ssPicture* const* pictures, std::int32_t count, std::int32_t targetWidth,
                 std::int32_t targetHeight, const std::function<bool()>& stopped = {});

// Fit, palette and dither for one screen, as the loader runs them after loading. Returns the
// depth it prepared for. Raises on failure.
std::int32_t PreparePictures(ssPicture* const* pictures, std::int32_t count,
                             std::int32_t targetWidth, std::int32_t targetHeight, BYTE adaptive);
