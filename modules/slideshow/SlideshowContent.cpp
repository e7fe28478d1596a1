#include "modules/slideshow/SlideshowContent.h"

#include <windows.h>

#include <stdexcept>
#include <string_view>

#include "package/PakEntries.h"
#include "package/kwPak.h"
#include "saverpak_module.h"
#include "support/Handles.h"
#include "support/Text.h"

namespace {

// The resource "SLIDESHOW" of the saver, read as data: none means the defaults.
SlideshowSettings ReadSettings(const wchar_t* saver) {
    UniqueLibrary image(
        LoadLibraryExW(saver, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    if (!image) return {};
    HRSRC found = FindResourceW(image.Get(), L"SLIDESHOW", MAKEINTRESOURCEW(10));  // RT_RCDATA
    HGLOBAL loaded = found ? LoadResource(image.Get(), found) : nullptr;
    const void* text = loaded ? LockResource(loaded) : nullptr;
    if (!text) return {};
    return ParseSlideshowSettings(
        std::string_view(static_cast<const char*>(text), SizeofResource(image.Get(), found)));
}

// Content items First to First + Count - 1 (or to the end); an item whose record cannot be
// read, or whose data does not lie inside the container, is left out.
void ReadSlides(SlideshowContent& content) {
    kwPak pak;
    ScopedUnbind unbind(pak);
    pak.Bind(content.SaverPath.c_str());
    const auto table = pak.ContentTable();
    const SlideItems slides = SlideItemsOf(content.Settings, table.size());
    for (std::size_t i = slides.First; i < slides.End; ++i) {
        try {
            const PakPictureDescriptor picture = ReadPictureDescriptor(pak, std::int32_t(table[i]));
            const std::uint32_t size = pak.ReadDataBlockLength(std::int32_t(picture.DataOffset));
            const std::uint64_t start = std::uint64_t(picture.DataOffset) + kDataBlockHeaderSize;
            if (size == 0 || !pak.FitsInContainer(start, size)) continue;
            content.Slides.push_back(
                {std::int64_t(start), size, picture.PictureType == kPictureJpeg});
        } catch (const std::runtime_error&) {
            // left out; the others still show
        }
    }
}

}  // namespace

SlideSource SlideshowContent::Source(std::int32_t slide) const {
    const SlideEntry& entry = Slides[std::size_t(slide)];
    SlideSource source;
    source.Path = SaverPath.c_str();
    source.Offset = entry.Offset;
    source.Size = entry.Size;
    source.Jpeg = entry.Jpeg;
    return source;
}

SlideshowContent ReadSlideshowContent() {
    SlideshowContent content;
    std::wstring saver(32768, L'\0');
    if (!SaverpakSaverPath(saver.data(), saver.size())) {
        content.Problem = "The slideshow shows the pictures of the screen saver that starts it.";
        return content;
    }
    content.Settings = ReadSettings(saver.c_str());
    content.SaverPath = ActiveText(saver.c_str());
    try {
        ReadSlides(content);
    } catch (const std::runtime_error& e) {
        content.Problem = e.what();
        return content;
    }
    if (content.Slides.empty()) content.Problem = "This screen saver holds no pictures to show.";
    return content;
}
