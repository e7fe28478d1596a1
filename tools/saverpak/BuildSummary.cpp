// The lines build and verify print when they are done: read from the saver, so they say what
// the saver's reader finds there.
#include <ostream>
#include <set>

#include "modules/slideshow/SlideshowSettings.h"
#include "tools/saverpak/Commands.h"
#include "tools/saverpak/container/Inspect.h"
#include "tools/saverpak/io/Ansi.h"
#include "tools/saverpak/io/PathText.h"
#include "tools/saverpak/stub/Branding.h"

namespace {

std::string SummaryCount(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

void PrintVerifySummary(const std::filesystem::path& file, std::ostream& out) {
    const std::string path = PathText(file);
    const PakReport r = InspectPak(path, InspectDepth::Records);
    // The name Windows shows for it: its string 1, or else its file's.
    const std::optional<SaverResources> resources = ReadSaverResources(file);
    const std::string name = resources && resources->Name
                                 ? TerminalUtf8(Utf16ToUtf8(*resources->Name))
                                 : PathText(file.stem());
    out << "saverpak: " << PrintablePath(path) << " is sound: \"" << name << "\" with "
        << SummaryCount(r.Modules.size(), "module", "modules") << ", "
        << SummaryCount(r.Pictures.size(), "picture", "pictures") << " and "
        << SummaryCount(r.Keys.size(), "hot key", "hot keys") << "\n";
}

void PrintBuildSummary(const std::filesystem::path& output, std::ostream& out) {
    const std::string path = PathText(output);
    const PakReport r = InspectPak(path, InspectDepth::Records);
    std::uint64_t programs = 0, pictures = 0;
    std::size_t external = 0;
    for (const PakModuleInfo& m : r.Modules) {
        if (m.Data)
            programs += m.Data->Length;
        else
            ++external;
    }
    std::set<std::uint64_t> blocks;  // a data block two pictures share is counted once
    for (const PakPictureInfo& p : r.Pictures)
        if (blocks.insert(p.Data.Span.Position).second) pictures += p.Data.Length;
    std::string modules = SummaryCount(r.Modules.size(), "module", "modules");
    if (external != 0) modules += " (" + std::to_string(external) + " external)";
    const bool link = r.Settings.URLLink[0] != 0;
    std::string slides;
    if (const auto resources = ReadSaverResources(output); resources && resources->Slideshow) {
        const SlideItems items =
            SlideItemsOf(ParseSlideshowSettings(*resources->Slideshow), r.Pictures.size());
        slides = ", " + SummaryCount(items.Count(), "slide", "slides");
    }
    out << "saverpak: wrote " << path << ", " << r.FileSize << " bytes: the stub ("
        << r.ContainerStart << " bytes), " << modules << " (" << programs << " bytes), "
        << SummaryCount(r.Pictures.size(), "picture", "pictures") << " (" << pictures << " bytes"
        << slides << "), " << SummaryCount(r.Keys.size(), "hot key", "hot keys")
        << (link ? ", a link" : ", no link") << ", Music check box "
        << (r.Settings.Music ? "shown" : "hidden") << "\n";
}
