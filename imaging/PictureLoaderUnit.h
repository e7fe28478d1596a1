// TPictureLoader: prepares pictures for the screen on a worker thread while the window that
// asked for them keeps its timers and painting running.
//
// For each load request it loads a picture (from the container or from a file), fits it to the
// target size and, by the screen's depth, builds a colour cube and palette and dithers the
// pictures to it (imaging/Preparation.h holds those steps). The window polls IsBusy, then reads
// the pictures and takes over the palette. It runs on the framework's thread class, so this unit
// is Windows-only and is built with the presentation library.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "framework/Thread.h"
#include "imaging/Preparation.h"
#include "imaging/Transitionsunit.h"
#include "support/Error.h"

class ssPak;

// One picture to load. The caller owns the array, the container and the pictures.
struct LoadRequest {
    const char* FileName = nullptr;  // set: load from this file; null: from the container
    ssPak* Pak = nullptr;
    std::int32_t ContentOffset = 0;  // position of the picture's descriptor in the container
    ssPicture* Picture = nullptr;
};

class TPictureLoader : public fw::TThread {
public:
    // Starts at once. `requests` must outlive the loader.
    TPictureLoader(const LoadRequest* requests, std::int32_t count, std::int32_t targetWidth,
                   std::int32_t targetHeight, BYTE adaptive);
    // Cancels and waits for the worker. The palette is not deleted: it belongs to the window.
    ~TPictureLoader() override;

    // True until the worker has finished (its terminated flag doubles as the finish signal).
    bool IsBusy() const { return !Terminated(); }
    // Asks every step to stop at its next check; the worker then finishes through its clean-up.
    void Cancel();
    void SetMode(BYTE adaptive) { FPreparation.SetMode(adaptive); }

    // After the worker has finished: the logical palette made for the pictures (null above 8
    // bits). The window takes it over with TakePalette and deletes it; a palette nobody took is
    // deleted with the loader, so none is leaked.
    HPALETTE Palette() const { return FPalette.Get(); }
    HPALETTE TakePalette();
    // After the worker has finished: the message of the error that ended it, empty when it
    // completed. The cube's or ditherer's error code is in Error().
    const std::string& ErrorMessage() const { return FErrorMessage; }
    bool Failed() const { return !FErrorMessage.empty(); }
    cError& Error() { return FPreparation.Error(); }
    std::int32_t ScreenDepth() const { return FPreparation.ScreenDepth(); }

protected:
    void Execute() override;

private:
    void LoadPictures();

    const LoadRequest* FRequests;
    std::int32_t FRequestCount;
    std::int32_t FTargetWidth;
    std::int32_t FTargetHeight;
    PicturePreparation FPreparation;
    UniquePalette FPalette;
    std::string FErrorMessage;
};
