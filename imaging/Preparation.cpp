#include "imaging/Preparation.h"

#include <stdexcept>

#include "imaging/Display.h"

PicturePreparation::PicturePreparation(BYTE adaptive) : FAdaptive(adaptive) {}

PicturePreparation::~PicturePreparation() { Release(); }

void PicturePreparation::DropCube() {
    std::unique_ptr<cColorCube> cube;
    {
        std::lock_guard<std::mutex> lock(FLock);
        cube = std::move(FCube);
    }
    if (cube) cube->FreeTree();
}

void PicturePreparation::DropDitherer() {
    std::unique_ptr<cDither> ditherer;
    {
        std::lock_guard<std::mutex> lock(FLock);
        ditherer = std::move(FDither);
    }
    if (ditherer) ditherer->FreeTables();
}

void PicturePreparation::Release() {
    DropDitherer();
    DropCube();
}

void PicturePreparation::Cancel() {
    std::lock_guard<std::mutex> lock(FLock);
    if (FCube) FCube->SetCancel(1);
    if (FDither) FDither->SetCancel(1);
}

const LOGPALETTE* PicturePreparation::PaletteRecord() const {
    std::lock_guard<std::mutex> lock(FLock);
    return FCube ? FCube->Palette() : nullptr;
}

void PicturePreparation::SetMode(BYTE adaptive) {
    if (FScreenDepth > 8) {
        FAdaptive = 1;
        FRedLevels = FGreenLevels = FBlueLevels = 0;
        FSpread = 6;
    } else if (adaptive == 0) {
        FAdaptive = 0;
        FRedLevels = FGreenLevels = FBlueLevels = 6;
        FSpread = 0;
    } else {
        FAdaptive = adaptive;
        FRedLevels = 5;
        FGreenLevels = 5;
        FBlueLevels = 4;
        FSpread = 6;
    }
}

void PicturePreparation::BuildPalette(ssPicture* const* pictures, std::int32_t count) {
    {
        auto cube = std::make_unique<cColorCube>();
        std::lock_guard<std::mutex> lock(FLock);
        FCube = std::move(cube);
    }
    FScreenDepth = ScreenBitsPerPixel();
    std::int32_t colors;
    if (FScreenDepth < 8) {
        colors = 16;
    } else if (FScreenDepth < 16) {
        colors = 256;
    } else {
        FRedLevels = FGreenLevels = FBlueLevels = 0;
        FSpread = 6;
        FAdaptive = 1;
        DropCube();
        return;
    }
    if (FCube->Initialize(0, colors) != 0) {
        DropCube();
        throw std::runtime_error("Error initializing color cube.");
    }
    SetMode(FAdaptive == 0 && colors != 256 ? 1 : FAdaptive);
    if (FAdaptive) {
        for (std::int32_t i = 0; i < count; ++i) pictures[i]->Quantize(*FCube);
        if (!FCube->ChooseColors(colors, true)) {
            FError.CopyError(*FCube);
            throw std::runtime_error("Error assigning colors.");
        }
    } else {
        FCube->FillUniform(FRedLevels, FGreenLevels, FBlueLevels, true);
    }
    if (FScreenDepth > 8) return;
    if (!FCube->Palette()) {
        FError.CopyError(*FCube);
        throw std::runtime_error("Error creating color palette.");
    }
#ifdef _WIN32
    FPalette.Reset(CreatePalette(FCube->Palette()));
    if (!FPalette) {
        FError.CopyError(*FCube);
        throw std::runtime_error("Error creating color palette.");
    }
#endif
}

void PicturePreparation::DitherPictures(ssPicture* const* pictures, std::int32_t count) {
    cColorCube* cube = FCube.get();
    if (!cube && FScreenDepth >= 24) return;
    {
        auto ditherer = std::make_unique<cDither>();
        std::lock_guard<std::mutex> lock(FLock);
        FDither = std::move(ditherer);
    }
    if (FDither->Setup(cube, FAdaptive == 0, FRedLevels, FGreenLevels, FBlueLevels, FSpread) != 0) {
        FError.CopyError(*FDither);
        DropDitherer();
        throw std::runtime_error("Error initializing dither object.");
    }
    for (std::int32_t i = 0; i < count; ++i) pictures[i]->Dither(*FDither);
    DropDitherer();
}

#ifdef _WIN32
HPALETTE PicturePreparation::TakePalette() { return FPalette.Release(); }
#endif

void FitPictures(ssPicture* const* pictures, std::int32_t count, std::int32_t targetWidth,
                 std::int32_t targetHeight, const std::function<bool()>& stopped) {
    if (targetWidth == 0 || targetHeight == 0) return;
    const RECT target{0, 0, targetWidth, targetHeight};
    for (std::int32_t i = 0; i < count; ++i) {
        if (stopped && stopped()) return;
        pictures[i]->Resize(target);
    }
}

std::int32_t PreparePictures(ssPicture* const* pictures, std::int32_t count,
                             std::int32_t targetWidth, std::int32_t targetHeight, BYTE adaptive) {
    FitPictures(pictures, count, targetWidth, targetHeight);
    PicturePreparation preparation(adaptive);
    preparation.BuildPalette(pictures, count);
    preparation.DitherPictures(pictures, count);
    const std::int32_t depth = preparation.ScreenDepth();
    preparation.Release();
    return depth;
}
