#include "tools/saverpak/container/PakWriter.h"

namespace {

class PakEmitter {
public:
    PakEmitter(std::uint64_t start, const PakSink* sink) : FPosition(start), FSink(sink) {}

    std::uint32_t Position() const { return static_cast<std::uint32_t>(FPosition); }

    void Bytes(const void* data, std::size_t count) {
        if (FSink && count != 0) (*FSink)(data, count);
        FPosition += count;
    }

    template <std::size_t N>
    void Record(const std::array<std::uint8_t, N>& record) {
        Bytes(record.data(), N);
    }

    void Dword(std::uint32_t value) {
        std::uint8_t bytes[4];
        StoreLe32(bytes, value);
        Bytes(bytes, 4);
    }

    // A string descriptor; an absent text is stored with Length 0.
    std::uint32_t String(const std::optional<std::string>& text) {
        std::uint32_t at = Position();
        PakStringHeader header;
        header.Length = text ? static_cast<std::uint32_t>(text->size()) : 0;
        Record(header.Encode());
        if (text) Bytes(text->data(), text->size());
        return at;
    }

    std::uint32_t DataBlock(const PakData& data) {
        std::uint32_t at = Position();
        Dword(data.Size);
        if (FSink) data.Write();
        FPosition += data.Size;
        return at;
    }

    // An empty table takes no bytes and is stored with offset 0: readers never look at it.
    std::uint32_t Table(const std::vector<std::uint32_t>& entries) {
        if (entries.empty()) return 0;
        std::uint32_t at = Position();
        for (std::uint32_t entry : entries) Dword(entry);
        return at;
    }

    std::uint64_t Total() const { return FPosition; }

private:
    std::uint64_t FPosition;
    const PakSink* FSink;
};

void Emit(PakEmitter& out, const PakInput& input) {
    PakIndex index;

    std::vector<std::uint32_t> modules;
    for (const PakModuleInput& module : input.Modules) {
        PakModuleDescriptor descriptor;
        descriptor.Flags = module.Flags;
        descriptor.ArgMethod = module.ArgMethod;
        descriptor.NameOffset = out.String(module.Name);
        // An external module has no data block; the saver never reads its DataOffset.
        descriptor.DataOffset =
            (module.Flags & kModuleExternal) || !module.Data ? 0 : out.DataBlock(*module.Data);
        modules.push_back(out.Position());
        out.Record(descriptor.Encode());
    }
    index.ModuleTableOffset = out.Table(modules);
    index.ModuleCount = static_cast<std::uint32_t>(modules.size());

    std::vector<std::uint32_t> pictures, blocks;
    for (const PakPictureInput& picture : input.Pictures) {
        PakPictureDescriptor descriptor;
        descriptor.PictureType = picture.Type;
        descriptor.DataOffset = picture.SameDataAs && *picture.SameDataAs < blocks.size()
                                    ? blocks[*picture.SameDataAs]
                                    : out.DataBlock(picture.Data);
        blocks.push_back(descriptor.DataOffset);
        pictures.push_back(out.Position());
        out.Record(descriptor.Encode());
    }
    index.ContentTableOffset = out.Table(pictures);
    index.ContentCount = static_cast<std::uint32_t>(pictures.size());

    std::vector<std::uint32_t> keys;
    for (const PakKeyInput& key : input.Keys) {
        PakKeyEntry entry;
        entry.Key = key.Code;
        entry.Function = key.Function;
        entry.CommandOffset = key.Function == kShellExecute ? out.String(key.Command) : 0;
        keys.push_back(out.Position());
        out.Record(entry.Encode());
    }
    index.KeyTableOffset = out.Table(keys);
    index.KeyCount = static_cast<std::uint32_t>(keys.size());

    index.SettingsOffset = out.Position();
    out.Record(input.Settings.Encode());

    PakTrailer trailer;
    trailer.IndexOffset = out.Position();
    out.Record(index.Encode());
    out.Record(trailer.Encode());
}

}  // namespace

std::uint64_t PakContainerSize(const PakInput& input) {
    PakEmitter counter(0, nullptr);
    Emit(counter, input);
    return counter.Total();
}

void WritePakContainer(std::uint64_t stubSize, const PakInput& input, const PakSink& write) {
    PakEmitter out(stubSize, &write);
    Emit(out, input);
}
