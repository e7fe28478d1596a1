// The presentation window's preview path: the first picture of the container is loaded,
// fitted and (on palette screens) reduced to a palette by a loader thread; the window polls it,
// draws the picture centred and plays the sound once.
#include "presentation/kwScreensaverUnit.h"

#include <stdexcept>

#include "presentation/PaintBoxPalette.h"
#include "shell/SaverServices.h"

namespace {

constexpr const char* kLoadPictureFailure = "Error loading picture.";
constexpr const char* kShowPictureFailure = "Error initializing pak.";
constexpr const char* kPaintFailure = "Error creating bitmap.";

}  // namespace

void TkwScreensaverForm::LoadPicture() {
    Guarded(kLoadPictureFailure, [&] {
        auto contents = FPak.ContentTable();
        // A container without pictures has nothing to preview; the table is not read past
        // its end.
        if (contents.empty()) throw std::runtime_error(kLoadPictureFailure);
        FLoadRequest =
            LoadRequest{nullptr, &FPak, static_cast<std::int32_t>(contents[0]), &FPictures[0]};
        FLoader =
            std::make_unique<TPictureLoader>(&FLoadRequest, 1, ScreensaverPaintBox->ClientWidth(),
                                             ScreensaverPaintBox->ClientHeight(), 1);
        ItemTimer->SetInterval(100);
        ItemTimer->SetEnabled(true);
        FState = kStateLoadingPicture;
    });
}

void TkwScreensaverForm::ShowPicture() {
    Guarded(kShowPictureFailure, [&] {
        FState = kStatePictureShown;
        if (HWND box = ScreensaverPaintBox->HandleIfCreated()) {
            RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        }
    });
}

void TkwScreensaverForm::TakeLoaderPalette() {
    if (!FPalette && FLoader && !FLoader->IsBusy()) FPalette.Reset(FLoader->TakePalette());
}

void TkwScreensaverForm::StopPicture() {
    if (FLoader) {
        FLoader->Cancel();
        FLoader->WaitFor();  // the worker may still be writing the picture
        TakeLoaderPalette();
        FLoader.reset();
    }
    FPictures[0].FreeBits();
    FPictures[1].FreeBits();
    FPalette.Reset();
}

void TkwScreensaverForm::ScreensaverPaintBoxPaint(fw::TObject*) {
    Guarded(kPaintFailure, [&] {
        if (FMode != smPreview) return;
        if (FLoader && FLoader->IsBusy()) return;
        const ssPicture& picture = FPictures[0];
        if (!picture.HasPixels()) return;
        // Integer division truncates toward zero: a picture larger than the box is clipped
        // evenly on both sides.
        const int x = (ScreensaverPaintBox->ClientWidth() - picture.Width()) / 2;
        const int y = (ScreensaverPaintBox->ClientHeight() - picture.Height()) / 2;
        TakeLoaderPalette();
        HDC dc = ScreensaverPaintBox->Canvas().Handle();
        bool drawn;
        {
            ScopedPaintPalette palette(dc, FPalette.Get());
            drawn = picture.Draw(dc, x, y, SRCCOPY);
        }
        if (!drawn) throw std::runtime_error(kPaintFailure);
    });
}

void TkwScreensaverForm::PlaySaverSound(const char* name, HMODULE module, DWORD flags) {
    if (!FSoundLibrary) FSoundLibrary.Reset(LoadSystemLibrary("WINMM.DLL"));
    using PlayFunction = BOOL(WINAPI*)(LPCSTR, HMODULE, DWORD);
    auto play =
        FSoundLibrary ? LibraryFunction<PlayFunction>(FSoundLibrary.Get(), "PlaySoundA") : nullptr;
    if (play) play(name, module, flags);
}
