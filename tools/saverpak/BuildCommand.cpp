#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <CLI/CLI.hpp>

#include "package/PakFormat.h"
#include "support/Path.h"
#include "tools/saverpak/Commands.h"
#include "tools/saverpak/Inspect.h"
#include "tools/saverpak/Manifest.h"
#include "tools/saverpak/OutputFile.h"
#include "tools/saverpak/PakWriter.h"
#include "tools/saverpak/PictureCheck.h"
#include "tools/saverpak/ToolError.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::uint8_t> ReadWholeFile(const fs::path& path, const std::string& what) {
    std::error_code error;
    if (!fs::is_regular_file(path, error))
        throw ToolError(what + " " + path.string() + " is not a file that can be read");
    std::uintmax_t size = fs::file_size(path, error);
    if (error)
        throw ToolError("cannot read " + what + " " + path.string() + ": " + error.message());
    if (size > kMaxPakPosition)
        throw ToolError(what + " " + path.string() + " is larger than a saver file may be (2 GiB)");
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    if (!in || !in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size)))
        throw ToolError("cannot read " + what + " " + path.string());
    return bytes;
}

bool StartsWithMz(const std::vector<std::uint8_t>& bytes) {
    return bytes.size() >= 2 && bytes[0] == 'M' && bytes[1] == 'Z';
}

void CopyText(char* field, std::size_t size, const std::string& text) {
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), std::min(text.size(), size - 1));
}

}  // namespace

void BuildSaver(const fs::path& stubPath, const fs::path& manifestPath, const fs::path& outputArg) {
    fs::path output = fs::absolute(outputArg);
    Manifest manifest = LoadManifest(manifestPath);

    // Nothing that is read may be the file that is written, under any of its names.
    RefuseSameFile(output, stubPath, "stub");
    RefuseSameFile(output, manifestPath, "manifest");
    for (const ManifestModule& module : manifest.Modules) {
        if (!module.External) RefuseSameFile(output, module.File, "module");
    }
    for (const ManifestPicture& picture : manifest.Pictures)
        RefuseSameFile(output, picture.File, "picture");

    std::vector<std::uint8_t> stub = ReadWholeFile(stubPath, "stub");
    if (!StartsWithMz(stub))
        throw ToolError("stub " + stubPath.string() + " is not a Windows program (no \"MZ\")");

    PakInput input;
    std::vector<std::vector<std::uint8_t>> moduleData(manifest.Modules.size());
    for (std::size_t i = 0; i < manifest.Modules.size(); ++i) {
        const ManifestModule& module = manifest.Modules[i];
        PakModuleInput entry;
        entry.Name = module.Name;
        entry.Flags = (module.External ? kModuleExternal : 0) |
                      (module.ForceMaximize ? kModuleForceMaximize : 0);
        entry.ArgMethod = module.ArgMethod;
        if (!module.External) {
            moduleData[i] = ReadWholeFile(module.File, "module");
            if (!StartsWithMz(moduleData[i]))
                throw ToolError("module " + std::to_string(i) + ": " + module.File.string() +
                                " is not a Windows program (no \"MZ\")");
            entry.Data = &moduleData[i];
        }
        input.Modules.push_back(std::move(entry));
    }

    std::vector<std::vector<std::uint8_t>> pictureData(manifest.Pictures.size());
    for (std::size_t i = 0; i < manifest.Pictures.size(); ++i) {
        const fs::path& file = manifest.Pictures[i].File;
        pictureData[i] = ReadWholeFile(file, "picture");
        auto type = RecognizePicture(pictureData[i]);
        if (!type)
            throw ToolError("picture " + std::to_string(i) + ": " + file.string() +
                            " is neither a BMP nor a JPEG file");
        std::string problem = PictureProblem(pictureData[i], *type);
        if (!problem.empty())
            throw ToolError("picture " + std::to_string(i) + ": " + file.string() + ": " + problem);
        input.Pictures.push_back({*type, &pictureData[i]});
    }

    for (const ManifestKey& key : manifest.Keys)
        input.Keys.push_back({key.Code, key.Function, key.Command});
    CopyText(input.Settings.URLLink, kUrlLinkSize, manifest.Link);
    CopyText(input.Settings.URLCaption, kUrlCaptionSize, manifest.Caption);
    input.Settings.Music = manifest.Music;

    std::uint64_t total = stub.size() + PakContainerSize(input);
    if (total > kMaxPakPosition)
        throw ToolError("the saver would be " + std::to_string(total) +
                        " bytes; a saver file must stay below 2 GiB");

    OutputFile out(output);
    out.Write(stub.data(), stub.size());
    WritePakContainer(stub.size(), input,
                      [&](const void* bytes, std::size_t count) { out.Write(bytes, count); });
    out.CloseStream();
    // Read the result back with the saver's own reader before it takes the output's place.
    if (out.TempPath().string().size() < kPathSize) {
        try {
            InspectPak(out.TempPath().string(), true);
        } catch (const std::runtime_error& error) {
            throw ToolError(std::string("the saver could not read what was built (") +
                            error.what() + "); " + output.string() + " was not written");
        }
    }
    out.Commit();
}

void AddBuildCommand(CLI::App& app) {
    CLI::App* build = app.add_subcommand(
        "build", "Write a saver: the stub followed by a container made from a manifest");
    auto stub = std::make_shared<std::string>();
    auto manifest = std::make_shared<std::string>();
    auto output = std::make_shared<std::string>();
    build->add_option("--stub", *stub, "The saver program (.scr) without content")->required();
    build->add_option("--manifest", *manifest, "The manifest (TOML) naming the content")
        ->required();
    build->add_option("-o,--output", *output, "The saver file to write")->required();
    build->callback([=] { BuildSaver(*stub, *manifest, *output); });
}
