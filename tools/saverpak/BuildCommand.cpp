#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "imaging/Transitionsunit.h"
#include "package/PakFormat.h"
#include "package/kwPak.h"
#include "tools/saverpak/Commands.h"
#include "tools/saverpak/container/Inspect.h"
#include "tools/saverpak/container/PakWriter.h"
#include "tools/saverpak/io/OutputFile.h"
#include "tools/saverpak/io/PathText.h"
#include "tools/saverpak/io/ToolError.h"
#include "tools/saverpak/io/ToolMessages.h"
#include "tools/saverpak/manifest/Manifest.h"
#include "tools/saverpak/pictures/PictureCheck.h"
#include "tools/saverpak/pictures/StorablePicture.h"
#include "tools/saverpak/stub/Branding.h"
#include "tools/saverpak/stub/PeLayout.h"

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kMaxIconFile = 16u << 20;

// One input of the build, held open from its checks until its bytes are copied, so what was
// checked is what is written; its bytes are streamed, never held whole.
class InputFile {
public:
    InputFile(const fs::path& path, std::string what) : FPath(path), FWhat(std::move(what)) {
        RequireInputFile(path, FWhat);
        std::error_code error;
        std::uintmax_t size = fs::file_size(path, error);
        if (error) throw ToolError("cannot read " + Name() + ": " + error.message());
        if (size > kMaxPakPosition)
            throw ToolError(Name() + " is larger than a saver file may be (2 GiB)");
        FSize = static_cast<std::uint32_t>(size);
        FFile = OpenStream(path, "rb");
        if (!FFile) throw ToolError("cannot read " + Name() + ": " + std::strerror(errno));
    }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    std::string Name() const { return FWhat + " " + PathText(FPath); }
    std::uint32_t Size() const { return FSize; }

    // Reads exactly `count` bytes from `position`.
    void ReadAt(std::uint32_t position, void* buffer, std::size_t count) {
        if (std::fseek(FFile.Get(), static_cast<long>(position), SEEK_SET) != 0 ||
            std::fread(buffer, 1, count, FFile.Get()) != count)
            throw ToolError("cannot read " + Name() + " (did it change during the build?)");
    }

    std::vector<std::uint8_t> ReadAll() {
        std::vector<std::uint8_t> bytes(FSize);
        ReadAt(0, bytes.data(), bytes.size());
        return bytes;
    }

    bool StartsWithMz() {
        char head[2] = {};
        if (FSize < 2) return false;
        ReadAt(0, head, 2);
        return head[0] == 'M' && head[1] == 'Z';
    }

    // Appends the bytes from `position` to `end` to the output.
    void CopyTo(std::uint32_t position, std::uint32_t end, OutputFile& out) {
        out.CopyFrom(FFile.Get(), position, end - position, Name());
    }

    // The file's bytes as a data block, copied into `*out` once that is open.
    PakData Data(OutputFile* const& out) {
        return {FSize, [this, &out] { CopyTo(0, FSize, *out); }};
    }

private:
    fs::path FPath;
    std::string FWhat;
    UniqueStream FFile;
    std::uint32_t FSize = 0;
};

// The stub as it goes into the saver: its headers rewritten for the saver's own resources,
// then its bytes, then the new resource section. A signed stub loses its certificate table and
// the directory entry naming it: content appended after the table would break the signature
// anyway, and the built saver is what gets signed.
struct StubPlan {
    BrandedStub Stub;
    std::optional<PeCertificateEntry> Removed;
};

StubPlan PlanStub(InputFile& stub, const Manifest& manifest, const fs::path& output) {
    StubPlan plan;
    std::uint32_t length = stub.Size();
    std::vector<std::uint8_t> head(std::min<std::uint32_t>(stub.Size(), kPeHeadSize));
    stub.ReadAt(0, head.data(), head.size());
    if (head.size() < 2 || head[0] != 'M' || head[1] != 'Z')
        throw ToolError(stub.Name() +
                        " is not a Windows program; --stub takes the saver program Saverpak.scr");
    std::optional<PeCertificateEntry> entry = FindCertificateEntry(head.data(), head.size());
    if (entry && !entry->IsEmpty()) {
        if (static_cast<std::uint64_t>(entry->Position) + entry->Size != stub.Size() ||
            entry->Position < entry->EntryPosition + 8)
            throw ToolError(stub.Name() + " names a certificate table (position " +
                            std::to_string(entry->Position) + ", " + std::to_string(entry->Size) +
                            " bytes) that does not end the file; it cannot be used as a stub");
        length = entry->Position;
        std::fill_n(head.begin() + entry->EntryPosition, 8, std::uint8_t{0});
        if (head.size() > length) head.resize(length);
        plan.Removed = entry;
    }
    std::optional<std::vector<std::uint8_t>> icon;
    if (manifest.Saver.Icon) {
        InputFile file(*manifest.Saver.Icon, "icon");
        if (file.Size() > kMaxIconFile)
            throw ToolError(file.Name() + " is larger than an icon file may be (16 MiB)");
        icon = file.ReadAll();
    }
    plan.Stub = BrandStub(
        std::move(head), length,
        [&](std::uint32_t position, void* buffer, std::size_t count) {
            stub.ReadAt(position, buffer, count);
        },
        stub.Name(), manifest.Saver, icon, output,
        manifest.Slideshow ? std::optional(FormatSlideshowSettings(manifest.Slideshow->Settings))
                           : std::nullopt);
    return plan;
}

void CopyText(char* field, std::size_t size, const std::string& text) {
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), std::min(text.size(), size - 1));
}

// What the container holds, picture by picture: the manifest's [[picture]] entries, then a
// slideshow's slides. Without [[picture]] entries, picture 0 (the preview) is the first slide,
// and the slide's record shares its data block; without a logo, picture 1 is picture 0 made
// small (the configuration dialog grows to fit its logo, and a photograph would take the whole
// screen).
struct ContentPicture {
    fs::path File;
    std::optional<std::size_t> SameDataAs;
    bool Logo = false;  // a small copy of the picture before it
};

// Reads the built saver back with the saver's own reader before it takes the output's place:
// every record, and every picture decoded as the saver decodes it. A picture the saver cannot
// read is named.
void ReadBack(const fs::path& temp, const std::vector<ContentPicture>& content,
              const SaverResources& resources, const fs::path& output) {
    auto fail = [&](const std::string& what, const std::runtime_error& error) {
        throw ToolError("the saver could not read " + what + " (" + error.what() + "); " +
                        PathText(output) + " was not written");
    };
    const std::string path = PathText(temp);
    try {
        CheckSaverResources(temp, resources);
    } catch (const std::runtime_error& error) {
        fail("the resources it was given", error);
    }
    try {
        InspectPak(path, InspectDepth::Records);
    } catch (const std::runtime_error& error) {
        fail("what was built", error);
    }
    kwPak pak;
    ScopedUnbind scope(pak);
    pak.Bind(path.c_str());
    const auto table = pak.ContentTable();
    for (std::size_t i = 0; i < table.size(); ++i) {
        try {
            ssPicture picture;
            picture.Load(pak, static_cast<std::int32_t>(table[i]));
        } catch (const std::runtime_error& error) {
            fail("picture " + std::to_string(i) + " (" + PathText(content[i].File) + ")", error);
        }
    }
}

// Nothing that is read may be the file that is written, under any of its names.
void RefuseOutputAmongInputs(const fs::path& output, const fs::path& stubPath,
                             const fs::path& manifestPath, const Manifest& manifest,
                             const std::vector<ContentPicture>& content) {
    RefuseSameFile(output, stubPath, "stub");
    RefuseSameFile(output, manifestPath, "manifest");
    if (manifest.Saver.Icon) RefuseSameFile(output, *manifest.Saver.Icon, "icon");
    for (const ManifestModule& module : manifest.Modules) {
        if (!module.External) RefuseSameFile(output, module.File, "module");
    }
    for (const ContentPicture& picture : content) RefuseSameFile(output, picture.File, "picture");
}

constexpr std::int32_t kLogoWidth = 180, kLogoHeight = 135;

std::vector<ContentPicture> PlanContent(Manifest& manifest, const std::optional<fs::path>& program,
                                        const fs::path& stubPath) {
    std::vector<ContentPicture> content;
    for (const ManifestPicture& picture : manifest.Pictures) content.push_back({picture.File, {}});
    if (!manifest.Slideshow) return content;
    const std::vector<fs::path> slides = SlidePictures(*manifest.Slideshow, std::cerr);
    SlideshowSettings& settings = manifest.Slideshow->Settings;
    if (content.empty()) content.push_back({slides.front(), {}});
    if (content.size() == 1) content.push_back({content[0].File, {}, true});
    settings.First = static_cast<std::int32_t>(content.size());
    settings.Count = static_cast<std::int32_t>(slides.size());
    for (const fs::path& slide : slides) content.push_back({slide, {}});
    if (manifest.Pictures.empty()) content[2].SameDataAs = 0;
    // The slideshow is module 0: our own program, beside the stub unless named.
    ManifestModule module;
    module.File = program ? *program : stubPath.parent_path() / "Slideshow.exe";
    module.Name = "Slideshow.exe";
    if (!program && !fs::exists(module.File))
        throw ToolError("slideshow: the slideshow program " + PathText(module.File) +
                        " is missing; it comes beside Saverpak.scr, or name it with --slideshow");
    manifest.Modules.push_back(module);
    return content;
}

// The inputs' bytes are copied into `*target` once it is set, after every check has passed.
void AddModules(const Manifest& manifest, PakInput& input,
                std::vector<std::unique_ptr<InputFile>>& files, OutputFile* const& target) {
    for (std::size_t i = 0; i < manifest.Modules.size(); ++i) {
        const ManifestModule& module = manifest.Modules[i];
        PakModuleInput entry;
        entry.Name = module.Name;
        entry.Flags = (module.External ? kModuleExternal : 0) |
                      (module.ForceMaximize ? kModuleForceMaximize : 0);
        entry.ArgMethod = module.ArgMethod;
        if (!module.External) {
            auto& file = files.emplace_back(std::make_unique<InputFile>(module.File, "module"));
            if (!file->StartsWithMz())
                throw ToolError("module " + std::to_string(i) + ": " + PathText(module.File) +
                                " is not a Windows program (.exe file); give the program itself, "
                                "not a shortcut, script or archive");
            entry.Data = file->Data(target);
        }
        input.Modules.push_back(std::move(entry));
    }
}

// Checks picture `i` whole, as the saver decodes it whole; throws naming it when it cannot be
// stored.
PicturePlan CheckedPlan(InputFile& file, std::size_t i, const fs::path& path) {
    PicturePlan plan;
    std::string problem = PlanPicture(file.ReadAll(), i, PathText(path), plan);
    if (!problem.empty())
        throw ToolError("picture " + std::to_string(i) + ": " + PathText(path) + ": " + problem);
    return plan;
}

// The logo made from the picture just added, from its plan: its stored bytes fitted into the
// logo's box, or that picture's own data block when it fits already.
void AddLogo(const PicturePlan& plan, InputFile& file, const fs::path& path, PakInput& input,
             OutputFile* const& target) {
    const std::vector<std::uint8_t> stored = plan.Converted ? *plan.Converted : file.ReadAll();
    StorableBmp small;
    const std::string problem = FitToStorableBmp(stored.data(), stored.size(), RgbColour{0, 0, 0},
                                                 kLogoWidth, kLogoHeight, small);
    if (!problem.empty())
        throw ToolError("picture 1: a small copy of " + PathText(path) + ": " + problem);
    if (small.bytes.empty()) {
        const std::size_t same = input.Pictures.size() - 1;
        input.Pictures.push_back({input.Pictures[same].Type, {}, same});
        return;
    }
    auto logo = std::make_shared<std::vector<std::uint8_t>>(std::move(small.bytes));
    input.Pictures.push_back({kPictureBmp,
                              {std::uint32_t(logo->size()),
                               [logo, &target] { target->Write(logo->data(), logo->size()); }},
                              std::nullopt});
}

void AddPictures(const std::vector<ContentPicture>& content, PakInput& input,
                 std::vector<std::unique_ptr<InputFile>>& files, OutputFile* const& target) {
    for (std::size_t i = 0; i < content.size(); ++i) {
        const fs::path& path = content[i].File;
        if (content[i].SameDataAs) {
            const std::size_t same = *content[i].SameDataAs;
            input.Pictures.push_back({input.Pictures[same].Type, {}, same});
            continue;
        }
        if (content[i].Logo) continue;  // added with the picture before it, from its decode
        InputFile* file = files.emplace_back(std::make_unique<InputFile>(path, "picture")).get();
        PicturePlan plan = CheckedPlan(*file, i, path);
        if (!plan.Converted) {
            input.Pictures.push_back({plan.Type, file->Data(target), std::nullopt});
        } else {
            // A picture the saver cannot read as it is goes in as the BMP it was converted to,
            // made again from the file held open when it is written: a slideshow of many
            // photographs never holds more than one converted picture.
            std::cerr << "saverpak: picture " << i << ": " << PathText(path) << " " << plan.Note
                      << std::endl;
            input.Pictures.push_back({plan.Type,
                                      {std::uint32_t(plan.Converted->size()),
                                       [file, i, path, &target] {
                                           const PicturePlan again = CheckedPlan(*file, i, path);
                                           target->Write(again.Converted->data(),
                                                         again.Converted->size());
                                       }},
                                      std::nullopt});
        }
        if (i + 1 < content.size() && content[i + 1].Logo)
            AddLogo(plan, *file, path, input, target);
    }
}

void AddKeysAndSettings(const Manifest& manifest, PakInput& input) {
    for (const ManifestKey& key : manifest.Keys)
        input.Keys.push_back({key.Code, key.Function, key.Command});
    CopyText(input.Settings.URLLink, kUrlLinkSize, manifest.Link);
    CopyText(input.Settings.URLCaption, kUrlCaptionSize, manifest.Caption);
    // The slideshow is silent: the configuration dialog offers no Music for it.
    input.Settings.Music = manifest.Slideshow ? 0 : manifest.Music;
}

// The branded stub, then the container, into the output's temporary file, which takes the
// output's place only once the saver's own reader has read it back.
void WriteSaver(OutputFile& out, InputFile& stub, const BrandedStub& branded, const PakInput& input,
                const std::vector<ContentPicture>& content, const fs::path& output) {
    PeChecksum checksum(branded.ChecksumPosition);
    out.SetTap([&](const std::uint8_t* bytes, std::size_t count) { checksum.Add(bytes, count); });
    out.Write(branded.Head.data(), branded.Head.size());
    stub.CopyTo(static_cast<std::uint32_t>(branded.Head.size()), branded.CopyEnd, out);
    out.Write(branded.Tail.data(), branded.Tail.size());
    WritePakContainer(branded.Length(), input,
                      [&](const void* bytes, std::size_t count) { out.Write(bytes, count); });
    out.CloseStream();
    WriteImageChecksum(out.TempPath(), branded.ChecksumPosition, checksum.Finish());
    ReadBack(out.TempPath(), content, branded.Expected, output);
    out.Commit();
}

// Whether Windows can keep `name` as it is in an 8.3 directory entry: up to eight characters, a
// dot and up to three, of the letters, digits and marks short names allow, each part in one case.
bool IsShortFileName(const std::string& name) {
    const std::size_t dot = name.find('.');
    const std::string base = name.substr(0, dot);
    const std::string extension = dot == std::string::npos ? "" : name.substr(dot + 1);
    auto fits = [](const std::string& part, std::size_t longest) {
        bool upper = false, lower = false;
        for (char c : part) {
            upper |= c >= 'A' && c <= 'Z';
            lower |= c >= 'a' && c <= 'z';
            if (!std::isalnum(static_cast<unsigned char>(c)) &&
                std::string_view("!#$%&'()-@^_`{}~").find(c) == std::string_view::npos)
                return false;
        }
        return part.size() <= longest && !(upper && lower);
    };
    return !base.empty() && fits(base, 8) && fits(extension, 3);
}

// The Screen Saver Settings list shows a saver whose file name is long by that name, and its
// string 1 only for an 8.3 name (Microsoft, "Handling Screen Savers").
void NoteListedName(const ManifestSaver& saver, const fs::path& output) {
    if (!saver.Name) return;
    const std::string file = PathText(output.filename()), listed = PathText(output.stem());
    const std::string name = Utf16ToUtf8(*saver.Name);
    if (name == listed || IsShortFileName(file)) return;
    std::cerr << "saverpak: note: the Screen Saver Settings list shows a saver with a long file "
                 "name by that name: "
              << file << " is listed as \"" << listed << "\", not as its [saver] name \"" << name
              << "\". Name the file as it should be listed." << std::endl;
}

}  // namespace

void BuildSaver(const fs::path& stubPath, const fs::path& manifestPath, const fs::path& outputArg,
                const std::optional<fs::path>& slideshow) {
    fs::path output = fs::absolute(outputArg);
    Manifest manifest = LoadManifest(manifestPath);
    if (slideshow && !manifest.Slideshow)
        throw ToolError(
            "--slideshow names the slideshow program, but the manifest has no "
            "[slideshow]");
    const std::vector<ContentPicture> content =
        PlanContent(manifest, slideshow ? std::optional(fs::absolute(*slideshow)) : std::nullopt,
                    fs::absolute(stubPath));
    RefuseOutputAmongInputs(output, stubPath, manifestPath, manifest, content);

    InputFile stub(stubPath, "stub");
    StubPlan stubPlan = PlanStub(stub, manifest, output);
    const BrandedStub& branded = stubPlan.Stub;

    PakInput input;
    std::vector<std::unique_ptr<InputFile>> files;
    OutputFile* target = nullptr;  // set once every input has passed its checks
    AddModules(manifest, input, files, target);
    AddPictures(content, input, files, target);
    AddKeysAndSettings(manifest, input);

    std::uint64_t total = branded.Length() + PakContainerSize(input);
    if (total > kMaxPakPosition)
        throw ToolError("the saver " + PathText(output) + " would be " + std::to_string(total) +
                        " bytes; a saver file must stay below 2 GiB");

    OutputFile out(output);
    target = &out;
    WriteSaver(out, stub, branded, input, content, output);
    if (!branded.IconNote.empty()) std::cerr << "saverpak: note: " << branded.IconNote << std::endl;
    NoteListedName(manifest.Saver, output);
    if (stubPlan.Removed)
        std::cerr << "saverpak: note: the stub " << PathText(stubPath)
                  << " is signed; its certificate table (" << stubPlan.Removed->Size
                  << " bytes) was left out, as appending content breaks a signature. Sign "
                  << PathText(output) << " instead, as the last step." << std::endl;
}
