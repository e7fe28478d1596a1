#include "imaging/PictureLoaderUnit.h"

#include <stdexcept>
#include <vector>

#include "framework/Exception.h"

namespace {

constexpr const char* kNullParameter = "Internal error, NULL parameter passed to picture loader.";
constexpr const char* kUnknownFailure = "Error loading picture.";

}  // namespace

TPictureLoader::TPictureLoader(const LoadRequest* requests, std::int32_t count,
                               std::int32_t targetWidth, std::int32_t targetHeight, BYTE adaptive)
    : fw::TThread(false),
      FRequests(requests),
      FRequestCount(count),
      FTargetWidth(targetWidth),
      FTargetHeight(targetHeight),
      FPreparation(adaptive) {
    // A picture that a previous loader cancelled (or finished: that sets the flag too) must
    // load again.
    if (FRequests) {
        for (std::int32_t i = 0; i < FRequestCount; ++i) {
            if (FRequests[i].Picture) FRequests[i].Picture->SetCancel(0);
        }
    }
    AfterConstruction();
}

TPictureLoader::~TPictureLoader() {
    // The worker reads our members: it must be gone before they are.
    Cancel();
    WaitFor();
}

HPALETTE TPictureLoader::TakePalette() { return FPalette.Release(); }

void TPictureLoader::Cancel() {
    if (Terminated()) return;
    if (FRequests) {
        for (std::int32_t i = 0; i < FRequestCount; ++i) {
            if (FRequests[i].Picture) FRequests[i].Picture->SetCancel(1);
        }
    }
    FPreparation.Cancel();
    Terminate();
}

void TPictureLoader::LoadPictures() {
    for (std::int32_t i = 0; i < FRequestCount && !Terminated(); ++i) {
        const LoadRequest& request = FRequests[i];
        // A JPEG that is to be fitted decodes straight to the fitted size: the same pixels as
        // loading it whole and shrinking it, without the full-size block.
        if (request.FileName) {
            request.Picture->Load(request.FileName, FTargetWidth, FTargetHeight);
        } else {
            request.Picture->Load(*request.Pak, request.ContentOffset, FTargetWidth, FTargetHeight);
        }
    }
}

void TPictureLoader::Execute() {
    try {
        if (!FRequests || FRequestCount < 0) throw fw::Exception(kNullParameter);
        std::vector<ssPicture*> pictures;
        for (std::int32_t i = 0; i < FRequestCount; ++i) {
            const LoadRequest& request = FRequests[i];
            if (!request.Picture || (!request.FileName && !request.Pak)) {
                throw fw::Exception(kNullParameter);
            }
            pictures.push_back(request.Picture);
        }
        LoadPictures();
        ::FitPictures(pictures.data(), FRequestCount, FTargetWidth, FTargetHeight,
                      [this] { return Terminated(); });
        // The palette and dither steps do not look at the terminated flag: a cancel reaches
        // them through the cancel flags of the pictures, the cube and the ditherer.
        FPreparation.BuildPalette(pictures.data(), FRequestCount);
        FPalette.Reset(FPreparation.TakePalette());
        FPreparation.DitherPictures(pictures.data(), FRequestCount);
    } catch (const std::exception& error) {
        // Kept for the window, which reads it once the loader has finished.
        FErrorMessage = error.what()[0] ? error.what() : kUnknownFailure;
    } catch (...) {
        FErrorMessage = kUnknownFailure;
    }
    if (!FPalette) FPalette.Reset(FPreparation.TakePalette());
    FPreparation.Release();
    // Sets the terminated flag on every way out: the window's signal that the loader is done.
    Cancel();
}
